// Pixel and state tests for TLedLamp: templates, lit and unlit pictures,
// borderless surround, blinking driven through the timer's handler.
#include "TestPixels.h"
#include "widgets/LedLamp.h"

#include <QSet>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(TLEDStyle)

namespace {
const char *const kTemplateNames[] = {"BSM",   "NSM",   "BLG", "NLG", "BSQSM", "NSQSM",
                                      "BSQLG", "NSQLG", "BVT", "NVT", "BHZ",   "NHZ"};
const QSize kTemplateSizes[] = {{16, 16}, {16, 16}, {22, 22}, {22, 22}, {16, 16}, {16, 16},
                                {22, 22}, {22, 22}, {16, 22}, {16, 22}, {22, 16}, {22, 16}};
} // namespace

class TestLedLamp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void templates_data();
    void templates();
    void defaults();
    void faceAndSurround_data();
    void faceAndSurround();
    void blinkCycle();
    void valueFalseStopsBlinking();
    void blinkOffAndOn();
    void colourChangeRestartsBlinking();
    void steadyColourChange();
    void styleSetsSize_data();
    void styleSetsSize();
    void equalValuesDoNothing();
    void intervalReachesRunningTimer();
    void realTimerBlinks();
    void mouseEvents();
};

void TestLedLamp::templates_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (int i = 0; i < 12; ++i)
        QTest::newRow(kTemplateNames[i])
            << QString(QLatin1String(kTemplateNames[i])) << kTemplateSizes[i];
}

void TestLedLamp::templates() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage t = LedTemplate(name);
    QCOMPARE(t.size(), size);
    const QSet<QRgb> allowed = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(128, 128, 128),
                                qRgb(192, 192, 192), qRgb(0, 255, 0)};
    int white = 0;
    for (int y = 0; y < t.height(); ++y)
        for (int x = 0; x < t.width(); ++x)
            QVERIFY2(allowed.contains(t.pixel(x, y)),
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    QCOMPARE(t.pixel(t.width() / 2, t.height() / 2), qRgb(0, 255, 0));

    // The face is one connected area holding every lime pixel, with highlights.
    QImage filled = t.copy();
    FloodFillSurface(filled, t.width() / 2, t.height() / 2, qRgb(0, 255, 0), qRgb(1, 2, 3));
    for (int y = 0; y < t.height(); ++y)
        for (int x = 0; x < t.width(); ++x) {
            QVERIFY(filled.pixel(x, y) != qRgb(0, 255, 0));
            if (filled.pixel(x, y) == qRgb(255, 255, 255) && x > 0 && y > 0 && x < t.width() - 1 &&
                y < t.height() - 1)
                ++white;
        }
    QVERIFY(white > 0);

    if (name.startsWith(QLatin1Char('B'))) {
        QCOMPARE(t.pixel(1, 0), qRgb(255, 255, 255));
        QCOMPARE(t.pixel(0, 1), qRgb(255, 255, 255));
        QCOMPARE(t.pixel(1, t.height() - 1), qRgb(128, 128, 128));
        QCOMPARE(t.pixel(t.width() - 1, 1), qRgb(128, 128, 128));
    } else {
        // The surround reachable from the corner never touches the face.
        QCOMPARE(t.pixel(0, 0), qRgb(192, 192, 192));
        QImage surround = t.copy();
        FloodFillSurface(surround, 0, 0, qRgb(192, 192, 192), qRgb(1, 2, 3));
        FloodFillSurface(surround, t.width() / 2, t.height() / 2, qRgb(0, 255, 0), qRgb(9, 9, 9));
        QCOMPARE(surround.pixel(t.width() - 1, t.height() - 1), qRgb(1, 2, 3));
        QCOMPARE(surround.pixel(t.width() / 2, t.height() / 2), qRgb(9, 9, 9));
    }
}

void TestLedLamp::defaults() {
    TLedLamp lamp;
    QCOMPARE(lamp.size(), QSize(16, 16));
    QCOMPARE(lamp.property("TrueColor").value<TColor>(), clLime);
    QCOMPARE(lamp.property("FalseColor").value<TColor>(), clSilver);
    QCOMPARE(lamp.property("BorderColor").value<TColor>(), clBtnFace);
    QCOMPARE(lamp.property("Blink").toBool(), true);
    QCOMPARE(lamp.property("Bordered").toBool(), true);
    QCOMPARE(lamp.property("Value").toBool(), false);
    QCOMPARE(lamp.property("Interval").toInt(), 1000);
    QCOMPARE(lamp.LEDStyle(), LEDSmall);
    QCOMPARE(lamp.PictureIndex(), 1);
    QVERIFY(!lamp.BlinkTimer());
}

void TestLedLamp::faceAndSurround_data() {
    QTest::addColumn<TLEDStyle>("style");
    QTest::addColumn<bool>("bordered");
    QTest::addColumn<bool>("value");
    QTest::addColumn<TColor>("face");
    QTest::addColumn<TColor>("corner");
    // tx_led: red when lit, lime when unlit, borderless, large.
    QTest::newRow("tx_led lit") << LEDLarge << false << true << clRed << ColorToRGB(clBtnFace);
    QTest::newRow("tx_led unlit") << LEDLarge << false << false << clLime << ColorToRGB(clBtnFace);
    QTest::newRow("framed lit") << LEDSmall << true << true << clRed << clWhite;
    QTest::newRow("framed unlit") << LEDSmall << true << false << clLime << clWhite;
    QTest::newRow("square") << LEDSqLarge << false << true << clRed << ColorToRGB(clBtnFace);
    QTest::newRow("vertical") << LEDVertical << false << false << clLime << ColorToRGB(clBtnFace);
    QTest::newRow("horizontal") << LEDHorizontal << true << true << clRed << clWhite;
}

void TestLedLamp::faceAndSurround() {
    QFETCH(TLEDStyle, style);
    QFETCH(bool, bordered);
    QFETCH(bool, value);
    QFETCH(TColor, face);
    QFETCH(TColor, corner);
    TLedLamp lamp;
    lamp.SetTrueColor(clRed);
    lamp.SetFalseColor(clLime);
    lamp.SetBlink(false);
    lamp.SetBordered(bordered);
    lamp.SetLEDStyle(style);
    lamp.SetValue(value);
    const QImage image = Render(lamp);
    QCOMPARE(image.size(), lamp.size());
    QCOMPARE(PixelColor(image, image.width() / 2, image.height() / 2), face);
    QCOMPARE(PixelColor(image, 0, image.height() / 2), corner);
    // The surround of a borderless lamp follows BorderColor; a framed one ignores it.
    lamp.SetBorderColor(clYellow);
    const QImage recoloured = Render(lamp);
    QCOMPARE(PixelColor(recoloured, 0, image.height() / 2), bordered ? corner : clYellow);
    QCOMPARE(PixelColor(recoloured, image.width() / 2, image.height() / 2), face);
}

void TestLedLamp::blinkCycle() {
    TLedLamp lamp;
    int ticks = 0;
    QObject *sender = nullptr;
    lamp.OnTimer = [&](QObject *s) {
        ++ticks;
        sender = s;
    };
    lamp.SetValue(true);
    QVERIFY(lamp.BlinkTimer());
    QCOMPARE(lamp.BlinkTimer()->interval(), 1000);
    QVERIFY(lamp.BlinkTimer()->isActive());
    QCOMPARE(PixelColor(Render(lamp), 8, 8), clLime);

    const TColor expected[] = {clSilver, clLime, clSilver, clLime};
    for (int step = 0; step < 4; ++step) {
        lamp.BlinkStep();
        QCOMPARE(ticks, step + 1);
        QCOMPARE(PixelColor(Render(lamp), 8, 8), expected[step]);
    }
    QCOMPARE(sender, &lamp);
}

void TestLedLamp::valueFalseStopsBlinking() {
    for (int steps = 0; steps < 2; ++steps) {
        TLedLamp lamp;
        lamp.SetValue(true);
        for (int i = 0; i < steps; ++i)
            lamp.BlinkStep();
        lamp.SetValue(false);
        QVERIFY(!lamp.BlinkTimer());
        QCOMPARE(lamp.PictureIndex(), 1);
        QCOMPARE(PixelColor(Render(lamp), 8, 8), clSilver);
    }
}

void TestLedLamp::blinkOffAndOn() {
    TLedLamp lamp;
    lamp.SetValue(true);
    lamp.BlinkStep(); // unlit phase
    lamp.SetBlink(false);
    QVERIFY(!lamp.BlinkTimer());
    QCOMPARE(PixelColor(Render(lamp), 8, 8), clLime);
    lamp.SetBlink(true);
    QVERIFY(lamp.BlinkTimer());
    QCOMPARE(lamp.PictureIndex(), 0);
    lamp.BlinkStep();
    QCOMPARE(PixelColor(Render(lamp), 8, 8), clSilver);
}

void TestLedLamp::colourChangeRestartsBlinking() {
    TLedLamp lamp;
    lamp.SetValue(true);
    lamp.BlinkStep();
    QCOMPARE(lamp.PictureIndex(), 1);
    QTimer *before = lamp.BlinkTimer();
    QVERIFY(before);
    lamp.SetTrueColor(clRed);
    QVERIFY(lamp.BlinkTimer());
    QCOMPARE(lamp.PictureIndex(), 0);
    QCOMPARE(PixelColor(Render(lamp), 8, 8), clRed);
    lamp.BlinkStep();
    QCOMPARE(PixelColor(Render(lamp), 8, 8), clSilver);
}

void TestLedLamp::steadyColourChange() {
    // The ATU lamp: borderless, large, steady, lit; its state is its colour.
    TLedLamp lamp;
    lamp.SetBlink(false);
    lamp.SetBordered(false);
    lamp.SetLEDStyle(LEDLarge);
    lamp.SetValue(true);
    lamp.SetTrueColor(clRed);
    QVERIFY(!lamp.BlinkTimer());
    QCOMPARE(PixelColor(Render(lamp), 11, 11), clRed);
    lamp.SetTrueColor(clYellow);
    QCOMPARE(PixelColor(Render(lamp), 11, 11), clYellow);
    QCOMPARE(PixelColor(Render(lamp), 0, 0), ColorToRGB(clBtnFace));
}

void TestLedLamp::styleSetsSize_data() {
    QTest::addColumn<TLEDStyle>("style");
    QTest::addColumn<QSize>("size");
    QTest::newRow("large") << LEDLarge << QSize(22, 22);
    QTest::newRow("square small") << LEDSqSmall << QSize(16, 16);
    QTest::newRow("square large") << LEDSqLarge << QSize(22, 22);
    QTest::newRow("vertical") << LEDVertical << QSize(16, 22);
    QTest::newRow("horizontal") << LEDHorizontal << QSize(22, 16);
}

void TestLedLamp::styleSetsSize() {
    QFETCH(TLEDStyle, style);
    QFETCH(QSize, size);
    TLedLamp lamp;
    lamp.resize(40, 50);
    lamp.SetLEDStyle(style);
    QCOMPARE(lamp.size(), size);
    // Resized away from its style, the picture is stretched.
    lamp.resize(size * 2);
    lamp.SetBlink(false);
    lamp.SetValue(true);
    const QImage image = Render(lamp);
    QCOMPARE(image.size(), size * 2);
    QCOMPARE(PixelColor(image, size.width(), size.height()), clLime);
    QCOMPARE(PixelColor(image, 1, size.height()), clWhite);
}

void TestLedLamp::equalValuesDoNothing() {
    TLedLamp lamp;
    int ticks = 0;
    lamp.OnTimer = [&](QObject *) { ++ticks; };
    lamp.SetValue(true);
    lamp.BlinkStep();
    QCOMPARE(lamp.PictureIndex(), 1);
    QTimer *timer = lamp.BlinkTimer();
    // None of these may restart the blinking from the lit picture.
    lamp.SetValue(true);
    lamp.SetBlink(true);
    lamp.SetTrueColor(clLime);
    lamp.SetFalseColor(clSilver);
    lamp.SetBorderColor(clBtnFace);
    lamp.SetLEDStyle(LEDSmall);
    lamp.SetBordered(true);
    QCOMPARE(lamp.PictureIndex(), 1);
    QCOMPARE(lamp.BlinkTimer(), timer);
    QCOMPARE(ticks, 1);
}

void TestLedLamp::intervalReachesRunningTimer() {
    TLedLamp lamp;
    lamp.SetInterval(250);
    lamp.SetValue(true);
    QCOMPARE(lamp.BlinkTimer()->interval(), 250);
    lamp.SetInterval(400);
    QCOMPARE(lamp.BlinkTimer()->interval(), 400);
    QVERIFY(lamp.BlinkTimer()->isActive());
    // No interval: the timer holds still instead of spinning.
    lamp.SetInterval(0);
    QVERIFY(!lamp.BlinkTimer()->isActive());
    lamp.SetInterval(300);
    QVERIFY(lamp.BlinkTimer()->isActive());
}

void TestLedLamp::realTimerBlinks() {
    TLedLamp lamp;
    int ticks = 0;
    lamp.OnTimer = [&](QObject *) { ++ticks; };
    lamp.SetInterval(10);
    lamp.SetValue(true);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 2000);
    lamp.SetValue(false);
    const int stopped = ticks;
    QTest::qWait(50);
    QCOMPARE(ticks, stopped);
}

void TestLedLamp::mouseEvents() {
    TLedLamp lamp;
    lamp.show();
    QVERIFY(QTest::qWaitForWindowExposed(&lamp));
    QStringList seen;
    lamp.OnMouseEnter = [&](QObject *s) {
        seen << (s == &lamp ? QStringLiteral("enter") : QString());
    };
    lamp.OnMouseLeave = [&](QObject *s) {
        seen << (s == &lamp ? QStringLiteral("leave") : QString());
    };
    lamp.OnClick = [&](QObject *s) { seen << (s == &lamp ? QStringLiteral("click") : QString()); };
    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
    QCoreApplication::sendEvent(&lamp, &enter);
    QTest::mouseClick(&lamp, Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseClick(&lamp, Qt::RightButton, {}, QPoint(4, 4));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&lamp, &leave);
    QCOMPARE(seen, (QStringList{QStringLiteral("enter"), QStringLiteral("click"),
                                QStringLiteral("leave")}));
}

QTEST_MAIN(TestLedLamp)
#include "tst_ledlamp.moc"
