// Pixel and event tests for TColorButton: the looks of each state, the latch
// order of a click, grow-to-fit and the tiled background bitmap.
#include "TestPixels.h"
#include "widgets/ColorButton.h"

#include <QFontMetrics>
#include <QTest>

namespace {

void SendEnter(QWidget &w) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(&w, &enter);
}

void SendLeave(QWidget &w) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &leave);
}

// Configured as the main window's Open Port button.
void MakeOpenPort(TColorButton &b) {
    b.setGeometry(8, 48, 89, 24);
    b.setMaximumWidth(89);
    b.SetCaption(QStringLiteral("Open Port"));
    b.SetLatching(true);
    b.SetFlat(false);
    b.SetColor(clBtnFace);
    b.SetDownColor(clLime);
}

} // namespace

class TestColorButton : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaults();
    void looks_data();
    void looks();
    void disabledLooksTheSame();
    void backBitmapReplacesFace();
    void clickOrder();
    void handlerSettingDownIsOverridden();
    void releaseOutside();
    void otherButtonsToggleWithoutClick_data();
    void otherButtonsToggleWithoutClick();
    void nonLatchingClick();
    void growToFit();
    void growToFitWordWrap();
    void openCloseSequence();
};

void TestColorButton::defaults() {
    TColorButton b;
    QCOMPARE(b.size(), QSize(24, 24));
    QCOMPARE(b.property("Color").value<TColor>(), clSilver);
    QCOMPARE(b.property("HotColor").value<TColor>(), clYellow);
    QCOMPARE(b.property("DownColor").value<TColor>(), RGBColor(169, 169, 169));
    QCOMPARE(b.property("HotFontColor").value<TColor>(), clRed);
    QCOMPARE(b.property("DownFontColor").value<TColor>(), clBlack);
    QCOMPARE(b.property("MarginHorizontal").toInt(), 8);
    QCOMPARE(b.property("MarginVertical").toInt(), 4);
    QCOMPARE(b.property("Flat").toBool(), true);
    QCOMPARE(b.property("HotTrack").toBool(), true);
    QCOMPARE(b.property("Latching").toBool(), false);
    QCOMPARE(b.property("Down").toBool(), false);
    QCOMPARE(b.Alignment(), taCenter);
    QVERIFY(b.Caption().isEmpty());
}

void TestColorButton::looks_data() {
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("down");
    QTest::addColumn<bool>("hot");
    QTest::addColumn<bool>("hotTrack");
    QTest::addColumn<bool>("flat");
    QTest::addColumn<TColor>("face");
    QTest::addColumn<TColor>("topLeft"); // edge pixel at (1, 0)
    QTest::addColumn<TColor>("bottomRight");

    const TColor face = clSilver;
    const TColor down = RGBColor(169, 169, 169);
    const TColor grey = clGray;
    QTest::newRow("pressed") << true << false << false << true << true << down << grey << clWhite;
    QTest::newRow("down") << false << true << false << true << false << down << grey << clWhite;
    QTest::newRow("down and hot") << false << true << true << true << true << down << grey
                                  << clWhite;
    QTest::newRow("hot") << false << false << true << true << true << clYellow << clWhite << grey;
    QTest::newRow("flat") << false << false << false << true << true << face << face << face;
    QTest::newRow("raised") << false << false << false << true << false << face << clWhite << grey;
    QTest::newRow("hot without tracking")
        << false << false << true << false << true << face << clWhite << grey;
}

void TestColorButton::looks() {
    QFETCH(bool, pressed);
    QFETCH(bool, down);
    QFETCH(bool, hot);
    QFETCH(bool, hotTrack);
    QFETCH(bool, flat);
    QFETCH(TColor, face);
    QFETCH(TColor, topLeft);
    QFETCH(TColor, bottomRight);

    TColorButton b;
    b.resize(60, 30);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    // The pointer may rest over a fresh window; start from "not hot".
    SendLeave(b);
    b.SetHotTrack(hotTrack);
    b.SetFlat(flat);
    b.SetDown(down);
    if (hot)
        SendEnter(b);
    if (pressed)
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(b.Pressed(), pressed);
    if (!pressed)
        QCOMPARE(b.Hot(), hot);

    const QImage image = Render(b);
    QCOMPARE(PixelColor(image, 30, 15), face);
    QCOMPARE(PixelColor(image, 1, 0), topLeft);
    QCOMPARE(PixelColor(image, 0, 1), topLeft);
    QCOMPARE(PixelColor(image, 58, 29), bottomRight);
    QCOMPARE(PixelColor(image, 59, 28), bottomRight);
    if (pressed)
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
}

void TestColorButton::disabledLooksTheSame() {
    for (bool down : {false, true}) {
        TColorButton b;
        MakeOpenPort(b);
        b.SetDown(down);
        const QImage enabled = Render(b);
        b.setEnabled(false);
        QCOMPARE(Render(b), enabled);
    }
}

void TestColorButton::backBitmapReplacesFace() {
    QImage tile(3, 3, QImage::Format_RGB32);
    tile.fill(qRgb(0, 0, 255));
    tile.setPixel(0, 0, qRgb(255, 0, 255));
    TColorButton b;
    b.resize(40, 30);
    b.SetFlat(false);
    b.SetBackBitmap(tile);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    for (int state = 0; state < 3; ++state) {
        if (state == 1)
            SendEnter(b);
        if (state == 2)
            b.SetDown(true);
        const QImage image = Render(b);
        QCOMPARE(PixelColor(image, 4, 4), clBlue);
        // The tiling starts at the top-left corner.
        QCOMPARE(PixelColor(image, 3, 3), clFuchsia);
        QCOMPARE(PixelColor(image, 36, 27), clFuchsia);
        // The edge is still drawn over the bitmap.
        QCOMPARE(PixelColor(image, 0, 1), state == 2 ? clGray : clWhite);
    }
}

void TestColorButton::clickOrder() {
    TColorButton b;
    MakeOpenPort(b);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QList<bool> downSeen;
    QList<bool> pressedSeen;
    QList<TColor> faceSeen;
    b.onclick = [&](QObject *sender) {
        QCOMPARE(sender, &b);
        downSeen << b.Down();
        pressedSeen << b.Pressed();
        faceSeen << PixelColor(Render(b), 44, 6);
    };
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(b.Down());
    QVERIFY(!b.Pressed());
    QCOMPARE(PixelColor(Render(b), 44, 6), clLime);
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!b.Down());
    QCOMPARE(PixelColor(Render(b), 44, 6), ColorToRGB(clBtnFace));
    QCOMPARE(downSeen, (QList<bool>{false, true}));
    QCOMPARE(pressedSeen, (QList<bool>{true, true}));
    // While the handler runs the button shows its pressed look.
    QCOMPARE(faceSeen, (QList<TColor>{clLime, clLime}));
}

void TestColorButton::handlerSettingDownIsOverridden() {
    TColorButton b;
    MakeOpenPort(b);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    b.onclick = [&](QObject *) { b.SetDown(false); };
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(b.Down());
}

void TestColorButton::releaseOutside() {
    TColorButton b;
    MakeOpenPort(b);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    int clicks = 0;
    b.onclick = [&](QObject *) { ++clicks; };
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(200, 10));
    QCOMPARE(clicks, 0);
    QVERIFY(b.Down());
    QVERIFY(!b.Pressed());
}

void TestColorButton::otherButtonsToggleWithoutClick_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestColorButton::otherButtonsToggleWithoutClick() {
    QFETCH(Qt::MouseButton, button);
    TColorButton b;
    MakeOpenPort(b);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    int clicks = 0;
    b.onclick = [&](QObject *) { ++clicks; };
    QTest::mouseClick(&b, button, {}, QPoint(10, 10));
    QVERIFY(b.Down());
    QTest::mouseClick(&b, button, {}, QPoint(10, 10));
    QVERIFY(!b.Down());
    QCOMPARE(clicks, 0);
}

void TestColorButton::nonLatchingClick() {
    TColorButton b;
    b.SetCaption(QStringLiteral("TUNE"));
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    int clicks = 0;
    b.onclick = [&](QObject *) { ++clicks; };
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks, 1);
    QVERIFY(!b.Down());
    // Click() alone, without a button held, fires nothing.
    b.Click();
    QCOMPARE(clicks, 1);
}

void TestColorButton::growToFit() {
    TColorButton b;
    b.resize(30, 10);
    b.SetCaption(QStringLiteral("A rather long caption"));
    const QFontMetrics metrics(b.font());
    const int needed = metrics.horizontalAdvance(b.Caption()) + 16;
    Render(b);
    QCOMPARE(b.width(), needed);
    QCOMPARE(b.height(), metrics.height() + 8);
    b.SetCaption(QStringLiteral("A"));
    Render(b);
    QCOMPARE(b.width(), needed);

    // A maximum width caps the growth.
    TColorButton capped;
    MakeOpenPort(capped);
    capped.SetCaption(QStringLiteral("PA connected and a good deal more"));
    Render(capped);
    QCOMPARE(capped.width(), 89);
}

void TestColorButton::growToFitWordWrap() {
    TColorButton b;
    b.resize(60, 20);
    b.SetWordWrap(true);
    b.SetCaption(QStringLiteral("one two three four five six"));
    Render(b);
    QCOMPARE(b.width(), 60);
    const QFontMetrics metrics(b.font());
    QVERIFY2(b.height() >= 2 * metrics.height() + 4 + 1, qPrintable(QString::number(b.height())));
}

void TestColorButton::openCloseSequence() {
    // Open Port and Close Port as the main window drives them.
    TColorButton open;
    TColorButton close;
    MakeOpenPort(open);
    MakeOpenPort(close);
    close.SetCaption(QStringLiteral("Close Port"));
    close.SetDownColor(clRed);
    close.SetDownFontColor(clWhite);
    close.SetDown(true);
    open.onclick = [&](QObject *) {
        close.SetDown(false);
        open.setEnabled(false);
        close.setEnabled(true);
    };
    close.onclick = [&](QObject *) {
        open.SetDown(false);
        close.SetDown(false);
        close.setEnabled(false);
        open.setEnabled(true);
    };
    open.show();
    close.show();
    QVERIFY(QTest::qWaitForWindowExposed(&open));
    QVERIFY(QTest::qWaitForWindowExposed(&close));
    QCOMPARE(PixelColor(Render(close), 44, 4), clRed);

    QTest::mouseClick(&open, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(open.Down());
    QVERIFY(!close.Down());
    QVERIFY(!open.isEnabled());
    QCOMPARE(PixelColor(Render(open), 44, 4), clLime);

    QTest::mouseClick(&close, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!open.Down());
    QVERIFY(close.Down());
    QCOMPARE(PixelColor(Render(close), 44, 4), clRed);
    QCOMPARE(PixelColor(Render(open), 44, 4), ColorToRGB(clBtnFace));
}

QTEST_MAIN(TestColorButton)
#include "tst_colorbutton.moc"
