// Renders every indicator widget in its main states into one picture,
// widgets-gallery.png in the build directory, for a look by eye; checks a
// few pixels so that a blank picture does not pass.
#include "TestPixels.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"

#include <QLabel>
#include <QTest>

namespace {
void SendHot(QWidget *w) {
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(w, &enter);
}
} // namespace

class TestWidgetsGallery : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gallery();
};

void TestWidgetsGallery::gallery() {
    QWidget page;
    page.resize(560, 330);
    page.setAutoFillBackground(true);
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, ToQColor(clBtnFace));
    page.setPalette(palette);

    // Lamps: every style framed and borderless, lit and unlit, and the main window's lamps.
    const TLEDStyle styles[] = {LEDSmall,   LEDLarge,    LEDSqSmall,
                                LEDSqLarge, LEDVertical, LEDHorizontal};
    int x = 8;
    for (TLEDStyle style : styles) {
        for (int variant = 0; variant < 4; ++variant) {
            auto *lamp = new TLedLamp(&page);
            lamp->SetBlink(false);
            lamp->SetLEDStyle(style);
            lamp->SetBordered(variant < 2);
            lamp->SetValue(variant % 2 == 0);
            lamp->move(x, 8 + variant * 26);
        }
        x += 30;
    }
    auto *txLed = new TLedLamp(&page);
    txLed->SetTrueColor(clRed);
    txLed->SetFalseColor(clLime);
    txLed->SetBlink(false);
    txLed->SetBordered(false);
    txLed->SetLEDStyle(LEDLarge);
    txLed->SetValue(true);
    txLed->move(200, 8);

    // Buttons: normal flat, raised, hot, down (Open Port lime, Close Port red), bitmap, word wrap.
    auto makeButton = [&](const QString &caption, int bx, int by) {
        auto *b = new TColorButton(&page);
        b->setGeometry(bx, by, 89, 24);
        b->SetCaption(caption);
        return b;
    };
    makeButton(QStringLiteral("Flat"), 240, 8);
    makeButton(QStringLiteral("Raised"), 340, 8)->SetFlat(false);
    auto *hot = makeButton(QStringLiteral("Hot"), 440, 8);
    hot->SetFlat(false);
    auto *open = makeButton(QStringLiteral("Open Port"), 240, 40);
    open->SetFlat(false);
    open->SetColor(clBtnFace);
    open->SetDownColor(clLime);
    open->SetDown(true);
    auto *close = makeButton(QStringLiteral("Close Port"), 340, 40);
    close->SetFlat(false);
    close->SetDownColor(clRed);
    close->SetDownFontColor(clWhite);
    close->SetDown(true);
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(qRgb(200, 220, 255));
    for (int i = 0; i < 8; ++i)
        tile.setPixel(i, i, qRgb(90, 120, 200));
    auto *bitmap = makeButton(QStringLiteral("Bitmap"), 440, 40);
    bitmap->SetFlat(false);
    bitmap->SetBackBitmap(tile);
    auto *wrap = makeButton(QStringLiteral("TUNE the antenna now"), 240, 72);
    wrap->resize(129, 41);
    wrap->SetWordWrap(true);
    wrap->SetFontColor(clPurple);

    // Meters: the main window's output and swr meters, every direction, percentage text.
    auto *output = new TBarMeter(&page);
    output->setGeometry(8, 130, 401, 33);
    output->SetMax(1200);
    output->SetShowPosText(false);
    output->SetPosition(1000);
    auto *swr = new TBarMeter(&page);
    swr->setGeometry(420, 130, 105, 33);
    swr->SetBarColor2(clRed);
    swr->SetBarColorStyle(cs2Colors);
    swr->SetMax(130);
    swr->SetShowPosText(false);
    swr->SetPosition(100);
    auto *rtl = new TBarMeter(&page);
    rtl->setGeometry(8, 175, 200, 20);
    rtl->SetDirection(pdRightToLeft);
    rtl->SetPosition(70);
    auto *text = new TBarMeter(&page);
    text->setGeometry(8, 205, 200, 20);
    text->SetPercentage(true);
    text->SetMax(200);
    text->SetPosTextSuffix(QStringLiteral(" %"));
    text->SetPosition(50);
    auto *up = new TBarMeter(&page);
    up->setGeometry(230, 175, 24, 140);
    up->SetDirection(pdBottomToTop);
    up->SetPosition(80);
    auto *down = new TBarMeter(&page);
    down->setGeometry(264, 175, 24, 140);
    down->SetDirection(pdTopToBottom);
    down->SetBarColorStyle(cs1Color);
    down->SetPosition(40);

    // The main window's scale marks through the font substitutes.
    auto *marks = new QLabel(&page);
    marks->setFont(SubstituteFont(QStringLiteral("Webdings"), 10));
    marks->setText(SubstituteText(QStringLiteral("Webdings"), QStringLiteral("5555")) +
                   SubstituteText(QStringLiteral("Wingdings 3"), QStringLiteral("qtu")));
    marks->move(300, 180);

    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    SendHot(hot);
    const QImage image = Render(page);
    const QString path = QStringLiteral(ORVIK_GALLERY_DIR "/widgets-gallery.png");
    QVERIFY(image.save(path));
    QVERIFY(!QImage(path).isNull());

    // Spot checks: lit lamp, Open Port lime, Close Port red, output bar start green.
    QCOMPARE(PixelColor(image, 200 + 11, 8 + 11), clRed);
    QCOMPARE(PixelColor(image, 240 + 44, 40 + 3), clLime);
    QCOMPARE(PixelColor(image, 340 + 44, 40 + 3), clRed);
    QCOMPARE(PixelColor(image, 8 + 2, 130 + 16), GradientStep(clGreen, clYellow, 3, 200));
    QCOMPARE(PixelColor(image, 440 + 44, 8 + 3), clYellow);
}

QTEST_MAIN(TestWidgetsGallery)
#include "tst_widgets_gallery.moc"
