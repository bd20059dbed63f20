// Pixel tests for TBarMeter: filled length in every direction, gradient end
// colours and step rule, dropped positions, border, text and the cached bar.
#include "TestPixels.h"
#include "widgets/BarMeter.h"

#include <QTest>

#include <stdexcept>

Q_DECLARE_METATYPE(TProgressDirection)
Q_DECLARE_METATYPE(TBarColorStyle)

namespace {

const TColor kBack = ColorToRGB(clBtnFace);

// Pixels of the bar (not background) along the middle line in the filling direction.
int FilledPixels(const QImage &image, TProgressDirection direction) {
    const bool horizontal = direction == pdLeftToRight || direction == pdRightToLeft;
    const int length = horizontal ? image.width() : image.height();
    int count = 0;
    for (int i = 0; i < length; ++i) {
        const int x = horizontal ? i : image.width() / 2;
        const int y = horizontal ? image.height() / 2 : i;
        if (PixelColor(image, x, y) != kBack)
            ++count;
    }
    return count;
}

} // namespace

class TestBarMeter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaults();
    void gradientStep_data();
    void gradientStep();
    void gradientStepRange();
    void filledLength_data();
    void filledLength();
    void fillDirection_data();
    void fillDirection();
    void gradientEnds_data();
    void gradientEnds();
    void threeColourMiddle();
    void droppedPositions();
    void equalRangeShowsNoBar();
    void maxBelowPosition();
    void border();
    void positionText_data();
    void positionText();
    void barBitmapWinsOverStyle();
    void singleColour();
    void positionReusesCachedBar();
};

void TestBarMeter::defaults() {
    TBarMeter m;
    QCOMPARE(m.size(), QSize(200, 20));
    QCOMPARE(m.property("BackgroundColor").value<TColor>(), clBtnFace);
    QCOMPARE(m.property("BarColor1").value<TColor>(), clGreen);
    QCOMPARE(m.property("BarColor2").value<TColor>(), clYellow);
    QCOMPARE(m.property("BarColor3").value<TColor>(), clRed);
    QCOMPARE(m.BarColorStyle(), cs3Colors);
    QCOMPARE(m.property("BorderColor1").value<TColor>(), clBtnShadow);
    QCOMPARE(m.property("BorderColor2").value<TColor>(), clBtnHighlight);
    QCOMPARE(m.Direction(), pdLeftToRight);
    QCOMPARE(m.property("Max").toInt(), 100);
    QCOMPARE(m.property("Min").toInt(), 0);
    QCOMPARE(m.property("Position").toInt(), 0);
    QCOMPARE(m.property("Percentage").toBool(), false);
    QCOMPARE(m.property("ShowBorder").toBool(), true);
    QCOMPARE(m.property("ShowPosText").toBool(), true);
}

void TestBarMeter::gradientStep_data() {
    QTest::addColumn<TColor>("from");
    QTest::addColumn<TColor>("to");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<TColor>("expected");
    QTest::newRow("first") << clGreen << clYellow << 1 << 7 << clGreen;
    QTest::newRow("last") << clGreen << clYellow << 7 << 7 << clYellow;
    // 255 / 2 = 127.5 rounds away from zero, upward and downward.
    QTest::newRow("half up") << clBlack << clWhite << 2 << 3 << RGBColor(128, 128, 128);
    QTest::newRow("half down") << clWhite << clBlack << 2 << 3 << RGBColor(127, 127, 127);
    QTest::newRow("green to yellow")
        << clGreen << clYellow << 2 << 5 << RGBColor(64, 160, 0); // 63.75, 128 + 32
    QTest::newRow("one line") << clRed << clBlue << 1 << 1 << clRed;
    QTest::newRow("system colour") << clBtnFace << clBlack << 1 << 2 << RGBColor(240, 240, 240);
}

void TestBarMeter::gradientStep() {
    QFETCH(TColor, from);
    QFETCH(TColor, to);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(TColor, expected);
    QCOMPARE(GradientStep(from, to, index, count), expected);
}

void TestBarMeter::gradientStepRange() {
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, GradientStep(clRed, clBlue, 0, 5));
    try {
        GradientStep(clRed, clBlue, 6, 5);
        QFAIL("no range error");
    } catch (const std::out_of_range &e) {
        QCOMPARE(QString::fromLatin1(e.what()),
                 QStringLiteral("ColorIndex can't be less than 1 or greater than 5"));
    }
}

void TestBarMeter::filledLength_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("half of 198") << 50 << 0 << 100 << 198 << 99;
    QTest::newRow("at min") << 0 << 0 << 100 << 198 << 0;
    QTest::newRow("at max") << 100 << 0 << 100 << 198 << 198;
    QTest::newRow("tie to even down") << 1 << 0 << 2 << 5 << 2; // 2.5
    QTest::newRow("tie to even up") << 1 << 0 << 2 << 7 << 4;   // 3.5
    QTest::newRow("offset range") << 30 << 10 << 50 << 100 << 50;
    QTest::newRow("max equals min") << 5 << 5 << 5 << 100 << 0;
    QTest::newRow("above max") << 200 << 0 << 100 << 50 << 50;
    QTest::newRow("below min") << -5 << 0 << 100 << 50 << 0;
    QTest::newRow("huge span") << 2147483647 << -2147483647 - 1 << -2147483647 << 10 << 10;
}

void TestBarMeter::filledLength() {
    QFETCH(int, position);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, length);
    QFETCH(int, expected);
    QCOMPARE(BarFilledLength(position, min, max, length), expected);
}

void TestBarMeter::fillDirection_data() {
    QTest::addColumn<TProgressDirection>("direction");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("border");
    QTest::addColumn<int>("filled");
    QTest::addColumn<QPoint>("firstFilled");
    QTest::addColumn<QPoint>("firstEmpty");
    QTest::newRow("defaults 50") << pdLeftToRight << QSize(200, 20) << 50 << true << 99
                                 << QPoint(1, 10) << QPoint(100, 10);
    QTest::newRow("right to left") << pdRightToLeft << QSize(200, 20) << 25 << true << 50
                                   << QPoint(198, 10) << QPoint(148, 10);
    QTest::newRow("bottom to top")
        << pdBottomToTop << QSize(20, 102) << 30 << true << 30 << QPoint(10, 100) << QPoint(10, 70);
    QTest::newRow("top to bottom")
        << pdTopToBottom << QSize(20, 102) << 30 << true << 30 << QPoint(10, 1) << QPoint(10, 31);
    QTest::newRow("no border") << pdLeftToRight << QSize(200, 20) << 50 << false << 100
                               << QPoint(0, 10) << QPoint(100, 10);
    QTest::newRow("full") << pdLeftToRight << QSize(200, 20) << 100 << true << 198
                          << QPoint(198, 10) << QPoint(199, 10);
}

void TestBarMeter::fillDirection() {
    QFETCH(TProgressDirection, direction);
    QFETCH(QSize, size);
    QFETCH(int, position);
    QFETCH(bool, border);
    QFETCH(int, filled);
    QFETCH(QPoint, firstFilled);
    QFETCH(QPoint, firstEmpty);
    TBarMeter m;
    m.resize(size);
    m.SetShowPosText(false);
    m.SetDirection(direction);
    m.SetShowBorder(border);
    m.SetPosition(position);
    const QImage image = Render(m);
    // The border lines are neither bar nor background: count inside them.
    const QImage inner = border ? image.copy(1, 1, size.width() - 2, size.height() - 2) : image;
    QCOMPARE(FilledPixels(inner, direction), filled);
    QVERIFY(PixelColor(image, firstFilled.x(), firstFilled.y()) != kBack);
    // A full bar ends at the border.
    const TColor empty = position == m.Max() ? ColorToRGB(clBtnHighlight) : kBack;
    QCOMPARE(PixelColor(image, firstEmpty.x(), firstEmpty.y()), empty);
    QCOMPARE(m.OffscreenPicture(), image);
}

void TestBarMeter::gradientEnds_data() {
    QTest::addColumn<TProgressDirection>("direction");
    QTest::addColumn<TBarColorStyle>("style");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<QPoint>("farEnd");
    QTest::addColumn<TColor>("farColor");
    const QPoint left(0, 10), right(99, 10), top(10, 0), bottom(10, 99);
    QTest::newRow("LtR 3") << pdLeftToRight << cs3Colors << left << right << clRed;
    QTest::newRow("RtL 3") << pdRightToLeft << cs3Colors << right << left << clRed;
    QTest::newRow("TtB 3") << pdTopToBottom << cs3Colors << top << bottom << clRed;
    QTest::newRow("BtT 3") << pdBottomToTop << cs3Colors << bottom << top << clRed;
    QTest::newRow("LtR 2") << pdLeftToRight << cs2Colors << left << right << clYellow;
    QTest::newRow("RtL 2") << pdRightToLeft << cs2Colors << right << left << clYellow;
    QTest::newRow("TtB 2") << pdTopToBottom << cs2Colors << top << bottom << clYellow;
    QTest::newRow("BtT 2") << pdBottomToTop << cs2Colors << bottom << top << clYellow;
}

void TestBarMeter::gradientEnds() {
    QFETCH(TProgressDirection, direction);
    QFETCH(TBarColorStyle, style);
    QFETCH(QPoint, origin);
    QFETCH(QPoint, farEnd);
    QFETCH(TColor, farColor);
    TBarMeter m;
    const bool horizontal = direction == pdLeftToRight || direction == pdRightToLeft;
    m.resize(horizontal ? QSize(100, 20) : QSize(20, 100));
    m.SetShowBorder(false);
    m.SetShowPosText(false);
    m.SetDirection(direction);
    m.SetBarColorStyle(style);
    m.SetPosition(100);
    const QImage image = Render(m);
    QCOMPARE(PixelColor(image, origin.x(), origin.y()), clGreen);
    QCOMPARE(PixelColor(image, farEnd.x(), farEnd.y()), farColor);
    // The whole cache holds the gradient whatever the position.
    QCOMPARE(PixelColor(m.BarPicture(), farEnd.x(), farEnd.y()), farColor);
}

void TestBarMeter::threeColourMiddle() {
    TBarMeter m;
    m.resize(101, 10);
    m.SetShowBorder(false);
    m.SetShowPosText(false);
    m.SetPosition(100);
    const QImage image = Render(m);
    // The first segment is lines 0..49, the second 50..100: yellow on 49 and 50.
    QCOMPARE(PixelColor(image, 49, 5), clYellow);
    QCOMPARE(PixelColor(image, 50, 5), clYellow);
    QVERIFY(PixelColor(image, 48, 5) != clYellow);
    QVERIFY(PixelColor(image, 51, 5) != clYellow);
    QCOMPARE(PixelColor(image, 100, 5), clRed);

    // Meters too short for two steps per segment still draw defined colours.
    for (int w = 1; w <= 3; ++w) {
        TBarMeter tiny;
        tiny.resize(w, 4);
        tiny.SetShowBorder(false);
        tiny.SetShowPosText(false);
        tiny.SetPosition(100);
        const QImage t = Render(tiny);
        QCOMPARE(PixelColor(t, 0, 0), w == 1 ? clYellow : clGreen);
        QCOMPARE(PixelColor(t, w - 1, 0), w == 1 ? clYellow : (w == 2 ? clYellow : clRed));
    }
}

void TestBarMeter::droppedPositions() {
    TBarMeter m;
    m.SetShowPosText(false);
    m.SetPosition(40);
    const QImage before = Render(m);
    m.SetPosition(101);
    QCOMPARE(m.Position(), 40);
    QCOMPARE(Render(m), before);
    m.SetPosition(-1);
    QCOMPARE(m.Position(), 40);
    QCOMPARE(Render(m), before);
    m.SetPosition(0);
    QCOMPARE(m.Position(), 0);
    QCOMPARE(FilledPixels(Render(m).copy(1, 1, 198, 18), pdLeftToRight), 0);
}

void TestBarMeter::equalRangeShowsNoBar() {
    TBarMeter m;
    m.SetShowPosText(false);
    m.SetPosition(50);
    m.SetMax(50);
    m.SetMin(50);
    QCOMPARE(FilledPixels(Render(m).copy(1, 1, 198, 18), pdLeftToRight), 0);
    m.SetMax(100);
    m.SetPosition(60);
    m.SetMin(100);
    m.SetMax(100);
    QCOMPARE(m.Position(), 60);
    QCOMPARE(FilledPixels(Render(m).copy(1, 1, 198, 18), pdLeftToRight), 0);
}

void TestBarMeter::maxBelowPosition() {
    TBarMeter m;
    m.SetShowPosText(false);
    m.SetPosition(80);
    m.SetMax(40);
    QCOMPARE(m.Position(), 80);
    const QImage image = Render(m);
    QCOMPARE(FilledPixels(image.copy(1, 1, 198, 18), pdLeftToRight), 198);
    // The gradient spans the border too: its last inner line is one step short of red.
    QCOMPARE(PixelColor(image, 198, 10), GradientStep(clYellow, clRed, 99, 100));
    // The border is not painted over.
    QCOMPARE(PixelColor(image, 199, 10), ColorToRGB(clBtnHighlight));
}

void TestBarMeter::border() {
    TBarMeter m;
    m.resize(50, 10);
    m.SetShowPosText(false);
    m.SetBorderColor1(clBlue);
    m.SetBorderColor2(clFuchsia);
    const QImage image = Render(m);
    QCOMPARE(PixelColor(image, 0, 0), clBlue);
    QCOMPARE(PixelColor(image, 49, 0), clBlue);
    QCOMPARE(PixelColor(image, 0, 9), clBlue);
    QCOMPARE(PixelColor(image, 25, 0), clBlue);
    QCOMPARE(PixelColor(image, 0, 5), clBlue);
    QCOMPARE(PixelColor(image, 25, 9), clFuchsia);
    QCOMPARE(PixelColor(image, 49, 9), clFuchsia);
    QCOMPARE(PixelColor(image, 49, 5), clFuchsia);
    QCOMPARE(PixelColor(image, 1, 1), kBack);
}

void TestBarMeter::positionText_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("max");
    QTest::addColumn<bool>("percentage");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << 50 << 200 << false << QStringLiteral("50");
    QTest::newRow("negative") << -7 << 200 << false << QStringLiteral("-7");
    QTest::newRow("percent") << 50 << 200 << true << QStringLiteral("25");
    QTest::newRow("tie down") << 1 << 8 << true << QStringLiteral("12"); // 12.5
    QTest::newRow("tie up") << 3 << 8 << true << QStringLiteral("38");   // 37.5
    QTest::newRow("above 100") << 300 << 200 << true << QStringLiteral("150");
    QTest::newRow("max zero") << 0 << 0 << true << QString();
}

void TestBarMeter::positionText() {
    QFETCH(int, position);
    QFETCH(int, max);
    QFETCH(bool, percentage);
    QFETCH(QString, expected);
    QCOMPARE(BarPositionNumber(position, max, percentage), expected);
}

void TestBarMeter::barBitmapWinsOverStyle() {
    QImage tile(4, 4, QImage::Format_RGB32);
    tile.fill(qRgb(0, 0, 255));
    tile.setPixel(0, 0, qRgb(255, 0, 255));
    for (TBarColorStyle style : {cs1Color, cs2Colors, cs3Colors}) {
        TBarMeter m;
        m.SetShowPosText(false);
        m.SetBarColorStyle(style);
        m.SetBarBitmap(tile);
        m.SetPosition(50);
        const QImage image = Render(m);
        QCOMPARE(PixelColor(image, 4, 4), clFuchsia);
        QCOMPARE(PixelColor(image, 5, 4), clBlue);
        QCOMPARE(PixelColor(image, 96, 12), clFuchsia);
        QCOMPARE(PixelColor(image, 150, 10), kBack);
    }
}

void TestBarMeter::singleColour() {
    TBarMeter m;
    m.SetShowPosText(false);
    m.SetBarColorStyle(cs1Color);
    m.SetBarColor1(clNavy);
    m.SetPosition(100);
    const QImage image = Render(m);
    QCOMPARE(PixelColor(image, 1, 10), clNavy);
    QCOMPARE(PixelColor(image, 198, 10), clNavy);
}

void TestBarMeter::positionReusesCachedBar() {
    // The output meter of the main window.
    TBarMeter m;
    m.resize(401, 33);
    m.SetMax(1200);
    m.SetShowPosText(false);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    const int builds = m.BarPictureBuilds();
    QVERIFY(builds > 0);
    // Setters ask for a paint; several changes before it cost one.
    m.SetPosition(300);
    m.SetPosition(600);
    QCOMPARE(FilledPixels(m.OffscreenPicture().copy(1, 1, 399, 31), pdLeftToRight), 0);
    m.repaint();
    QCOMPARE(m.BarPictureBuilds(), builds);
    QCOMPARE(FilledPixels(m.OffscreenPicture().copy(1, 1, 399, 31), pdLeftToRight), 200);
    m.SetPosition(1200);
    m.repaint();
    QCOMPARE(m.BarPictureBuilds(), builds);
    QCOMPARE(PixelColor(m.OffscreenPicture(), 399, 16), GradientStep(clYellow, clRed, 200, 201));
    // Any other setter rebuilds, once however many come before the paint.
    m.SetBarColor3(clBlue);
    m.SetPosition(1100);
    m.SetPosition(1200);
    m.repaint();
    QCOMPARE(m.BarPictureBuilds(), builds + 1);
    QCOMPARE(PixelColor(m.OffscreenPicture(), 399, 16), GradientStep(clYellow, clBlue, 200, 201));

    // A new size rebuilds the picture at that size, even for a position change.
    m.resize(501, 33);
    m.SetPosition(1100);
    m.repaint();
    QCOMPARE(m.BarPictureBuilds(), builds + 2);
    QCOMPARE(m.BarPicture().width(), 501);
    QCOMPARE(FilledPixels(m.OffscreenPicture().copy(1, 1, 499, 31), pdLeftToRight), 457);
    QCOMPARE(PixelColor(m.OffscreenPicture(), 450, 16), GradientStep(clYellow, clBlue, 201, 251));
    const QImage shown = Render(m);
    QCOMPARE(PixelColor(shown, 500, 16), ColorToRGB(clBtnHighlight));
    QCOMPARE(PixelColor(shown, 450, 16), GradientStep(clYellow, clBlue, 201, 251));
}

QTEST_MAIN(TestBarMeter)
#include "tst_barmeter.moc"
