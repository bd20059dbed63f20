// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel and state tests for TLedLamp: lit and unlit faces, framed and
// borderless surround, blinking driven through the timer's handler.
#include "TestPixels.h"
#include "widgets/LedLamp.h"

#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(TLEDStyle)

class TestLedLamp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void faceAndSurround_data();
    void faceAndSurround();
    void blinkCycle();
    void timerDrivesBlinking();
    void mouseEvents();
};

void TestLedLamp::faceAndSurround_data() {
    QTest::addColumn<TLEDStyle>("style");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("bordered");
    const TLEDStyle styles[] = {LEDSmall,   LEDLarge,    LEDSqSmall,
                                LEDSqLarge, LEDVertical, LEDHorizontal};
    const QSize sizes[] = {{16, 16}, {22, 22}, {16, 16}, {22, 22}, {16, 22}, {22, 16}};
    for (int i = 0; i < 6; ++i)
        for (bool bordered : {true, false})
            QTest::addRow("style %d %s", i, bordered ? "framed" : "borderless")
                << styles[i] << sizes[i] << bordered;
}

void TestLedLamp::faceAndSurround() {
    QFETCH(TLEDStyle, style);
    QFETCH(QSize, size);
    QFETCH(bool, bordered);
    TLedLamp lamp;
    lamp.SetBlink(false);
    lamp.SetTrueColor(clRed);
    lamp.SetFalseColor(clBlue);
    lamp.SetBordered(bordered);
    lamp.SetLEDStyle(style);
    QCOMPARE(lamp.size(), size);
    const QPoint mid(size.width() / 2, size.height() / 2);
    for (bool value : {true, false}) {
        lamp.SetValue(value);
        const QImage image = Render(lamp);
        QCOMPARE(PixelColor(image, mid.x(), mid.y()), value ? clRed : clBlue);
        // The whole face is recoloured: no template lime is left anywhere.
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                QVERIFY2(PixelColor(image, x, y) != clLime,
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        // A framed lamp has a white top-left edge; a borderless one takes BorderColor.
        QCOMPARE(PixelColor(image, 0, mid.y()),
                 bordered ? clWhite : ColorToRGB(lamp.BorderColor()));
        lamp.SetBorderColor(value ? clYellow : clAqua);
        QCOMPARE(PixelColor(Render(lamp), 0, mid.y()),
                 bordered ? clWhite : (value ? clYellow : clAqua));
        // A steady lit lamp shows a new colour at once (the ATU lamp's state).
        lamp.SetTrueColor(clFuchsia);
        QCOMPARE(PixelColor(Render(lamp), mid.x(), mid.y()), value ? clFuchsia : clBlue);
        lamp.SetTrueColor(clRed);
    }
}

void TestLedLamp::blinkCycle() {
    TLedLamp lamp;
    int ticks = 0;
    QObject *sender = nullptr;
    lamp.OnTimer = [&](QObject *s) {
        ++ticks;
        sender = s;
    };
    auto face = [&] { return PixelColor(Render(lamp), 8, 8); };
    lamp.SetValue(true);
    QVERIFY(lamp.BlinkTimer() && lamp.BlinkTimer()->isActive());
    QCOMPARE(lamp.BlinkTimer()->interval(), 1000);
    QCOMPARE(face(), clLime);
    const TColor expected[] = {clSilver, clLime, clSilver};
    for (int step = 0; step < 3; ++step) {
        lamp.BlinkStep();
        QCOMPARE(ticks, step + 1);
        QCOMPARE(face(), expected[step]);
    }
    QCOMPARE(sender, &lamp);

    // Unchanged values may not restart the blinking from the lit picture.
    QTimer *timer = lamp.BlinkTimer();
    lamp.SetValue(true);
    lamp.SetBlink(true);
    lamp.SetTrueColor(clLime);
    lamp.SetFalseColor(clSilver);
    lamp.SetBorderColor(clBtnFace);
    lamp.SetLEDStyle(LEDSmall);
    lamp.SetBordered(true);
    QCOMPARE(lamp.BlinkTimer(), timer);
    QCOMPARE(face(), clSilver);

    // Blink off shows steady lit; blink on and a colour change restart from lit.
    lamp.SetBlink(false);
    QVERIFY(!lamp.BlinkTimer());
    QCOMPARE(face(), clLime);
    lamp.SetBlink(true);
    lamp.BlinkStep();
    QCOMPARE(face(), clSilver);
    lamp.SetTrueColor(clRed);
    QVERIFY(lamp.BlinkTimer());
    QCOMPARE(face(), clRed);

    // Going out in the lit phase stops the timer and shows unlit.
    lamp.SetValue(false);
    QVERIFY(!lamp.BlinkTimer());
    QCOMPARE(face(), clSilver);
}

void TestLedLamp::timerDrivesBlinking() {
    TLedLamp lamp;
    int ticks = 0;
    lamp.OnTimer = [&](QObject *) { ++ticks; };
    lamp.SetInterval(250);
    lamp.SetValue(true);
    QCOMPARE(lamp.BlinkTimer()->interval(), 250);
    // The timer's signal reaches the blink handler.
    QVERIFY(QMetaObject::invokeMethod(lamp.BlinkTimer(), "timeout"));
    QCOMPARE(ticks, 1);
    QCOMPARE(PixelColor(Render(lamp), 8, 8), clSilver);
    lamp.SetInterval(400);
    QCOMPARE(lamp.BlinkTimer()->interval(), 400);
    // No interval: the timer holds still instead of spinning.
    lamp.SetInterval(0);
    QVERIFY(!lamp.BlinkTimer()->isActive());
    lamp.SetInterval(300);
    QVERIFY(lamp.BlinkTimer()->isActive());
}

void TestLedLamp::mouseEvents() {
    TLedLamp lamp;
    QStringList seen;
    lamp.OnMouseEnter = [&](QObject *s) { seen << QStringLiteral("enter") << s->objectName(); };
    lamp.OnMouseLeave = [&](QObject *s) { seen << QStringLiteral("leave") << s->objectName(); };
    lamp.OnClick = [&](QObject *s) { seen << QStringLiteral("click") << s->objectName(); };
    lamp.setObjectName(QStringLiteral("lamp"));
    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
    QCoreApplication::sendEvent(&lamp, &enter);
    // Only a left click fires OnClick.
    QTest::mouseClick(&lamp, Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseClick(&lamp, Qt::RightButton, {}, QPoint(4, 4));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&lamp, &leave);
    QCOMPARE(seen.join(QLatin1Char(' ')), QStringLiteral("enter lamp click lamp leave lamp"));
}

QTEST_MAIN(TestLedLamp)
#include "tst_ledlamp.moc"
