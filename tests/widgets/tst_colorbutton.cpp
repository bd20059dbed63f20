// SPDX-License-Identifier: GPL-3.0-or-later
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

// Configured as the main window's Open Port button, shown.
void MakeOpenPort(TColorButton &b) {
    b.setGeometry(8, 48, 89, 24);
    b.setMaximumWidth(89);
    b.SetCaption(QStringLiteral("Open Port"));
    b.SetLatching(true);
    b.SetFlat(false);
    b.SetColor(clBtnFace);
    b.SetDownColor(clLime);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
}

} // namespace

class TestColorButton : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void looks_data();
    void looks();
    void backBitmapReplacesFace();
    void clickOrder();
    void heldAcrossFocus();
    void latchWithoutClick_data();
    void latchWithoutClick();
    void growToFit();
};

void TestColorButton::looks_data() {
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("down");
    QTest::addColumn<bool>("hot");
    QTest::addColumn<bool>("hotTrack");
    QTest::addColumn<bool>("flat");
    QTest::addColumn<TColor>("face");
    QTest::addColumn<TColor>("topLeft"); // edge pixels at (1, 0) and (0, 1)
    QTest::addColumn<TColor>("bottomRight");
    const TColor face = clSilver, down = RGBColor(169, 169, 169), grey = clGray;
    QTest::newRow("pressed") << true << false << false << true << true << down << grey << clWhite;
    QTest::newRow("down") << false << true << false << true << false << down << grey << clWhite;
    QTest::newRow("down+hot") << false << true << true << true << true << down << grey << clWhite;
    QTest::newRow("hot") << false << false << true << true << true << clYellow << clWhite << grey;
    QTest::newRow("flat") << false << false << false << true << true << face << face << face;
    QTest::newRow("raised") << false << false << false << true << false << face << clWhite << grey;
    QTest::newRow("hot untracked")
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
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&b, &leave);
    b.SetHotTrack(hotTrack);
    b.SetFlat(flat);
    b.SetDown(down);
    if (hot)
        SendEnter(b);
    if (pressed)
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    const QImage image = Render(b);
    QCOMPARE(PixelColor(image, 30, 15), face);
    QCOMPARE(PixelColor(image, 1, 0), topLeft);
    QCOMPARE(PixelColor(image, 0, 1), topLeft);
    QCOMPARE(PixelColor(image, 58, 29), bottomRight);
    QCOMPARE(PixelColor(image, 59, 28), bottomRight);
    if (pressed)
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
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
    for (int state = 0; state < 3; ++state) { // normal, hot, down
        if (state == 1)
            SendEnter(b);
        if (state == 2)
            b.SetDown(true);
        const QImage image = Render(b);
        QCOMPARE(PixelColor(image, 4, 4), clBlue);
        // The tiling starts at the top-left corner; the edge is drawn over it.
        QCOMPARE(PixelColor(image, 3, 3), clFuchsia);
        QCOMPARE(PixelColor(image, 36, 27), clFuchsia);
        QCOMPARE(PixelColor(image, 0, 1), state == 2 ? clGray : clWhite);
    }
}

void TestColorButton::clickOrder() {
    TColorButton b;
    MakeOpenPort(b);
    QList<bool> downSeen, pressedSeen;
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
    // The handler runs before the latch toggles, with the pressed look on show.
    QCOMPARE(downSeen, (QList<bool>{false, true}));
    QCOMPARE(pressedSeen, (QList<bool>{true, true}));
    QCOMPARE(faceSeen, (QList<TColor>{clLime, clLime}));

    // Not latching: a click, no Down; Click() without a button held fires nothing.
    b.SetLatching(false);
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(downSeen.size(), 3);
    QVERIFY(!b.Down());
    b.Click();
    QCOMPARE(downSeen.size(), 3);
}

// Space held on Open Port under X, its repeats reaching the program
// unflagged (a release and a press of one X time stamp): the port opens
// once, and Close Port, which takes the focus then, is not clicked by the
// rest of the same hold.
void TestColorButton::heldAcrossFocus() {
    QWidget window;
    auto *open = new TColorButton(&window), *close = new TColorButton(&window);
    close->move(0, 40);
    int opened = 0, closed = 0;
    QWidget *focus = open; // where the keys go
    open->onclick = [&](QObject *) {
        ++opened;
        focus = close;
    };
    close->onclick = [&](QObject *) { ++closed; };
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto send = [&focus](QEvent::Type type, quint64 stamp) {
        QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        event.setTimestamp(stamp);
        QCoreApplication::sendEvent(focus, &event);
    };
    send(QEvent::KeyPress, 1000);
    for (quint64 stamp = 1660; stamp < 1800; stamp += 40) {
        send(QEvent::KeyRelease, stamp);
        send(QEvent::KeyPress, stamp);
    }
    send(QEvent::KeyRelease, 1800);
    QCOMPARE(opened, 1);
    QCOMPARE(closed, 0);
    QVERIFY(!close->Pressed());
}

void TestColorButton::latchWithoutClick_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("release");
    QTest::newRow("left released outside") << Qt::LeftButton << QPoint(200, 10);
    QTest::newRow("right") << Qt::RightButton << QPoint(10, 10);
    QTest::newRow("middle") << Qt::MiddleButton << QPoint(10, 10);
}

void TestColorButton::latchWithoutClick() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, release);
    TColorButton b;
    MakeOpenPort(b);
    int clicks = 0;
    b.onclick = [&](QObject *) { ++clicks; };
    for (bool expected : {true, false}) {
        QTest::mousePress(&b, button, {}, QPoint(10, 10));
        QTest::mouseRelease(&b, button, {}, release);
        QCOMPARE(b.Down(), expected);
        QVERIFY(!b.Pressed());
    }
    QCOMPARE(clicks, 0);
}

void TestColorButton::growToFit() {
    TColorButton b;
    b.resize(30, 10);
    b.SetCaption(QStringLiteral("A rather long caption"));
    const QFontMetrics metrics(b.font());
    const int needed = metrics.horizontalAdvance(b.Caption()) + 16;
    Render(b);
    QCOMPARE(b.size(), QSize(needed, metrics.height() + 8));
    // Never shrinks.
    b.SetCaption(QStringLiteral("A"));
    Render(b);
    QCOMPARE(b.width(), needed);

    // A maximum width caps the growth.
    TColorButton capped;
    MakeOpenPort(capped);
    capped.SetCaption(QStringLiteral("PA connected and a good deal more"));
    Render(capped);
    QCOMPARE(capped.width(), 89);

    // Word wrap keeps the width and grows the height for the lines.
    TColorButton wrap;
    wrap.resize(60, 20);
    wrap.SetWordWrap(true);
    wrap.SetCaption(QStringLiteral("one two three four five six"));
    Render(wrap);
    QCOMPARE(wrap.width(), 60);
    QVERIFY2(wrap.height() >= 2 * metrics.height() + 5, qPrintable(QString::number(wrap.height())));
}

QTEST_MAIN(TestColorButton)
#include "tst_colorbutton.moc"
