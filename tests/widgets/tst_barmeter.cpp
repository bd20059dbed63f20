// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel tests for TBarMeter: filled length in every direction, gradient end
// colours and step rule, dropped positions, border, text and the cached bar;
// and the group box's kept frame, which the meters' box paints with.
#include "TestPixels.h"
#include "widgets/BarMeter.h"
#include "widgets/StdControls.h"

#include <QPaintEvent>
#include <QRegion>
#include <QTest>

#include <cstdlib>
#include <stdexcept>
#include <tuple>

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

// Bar pixels inside the border of a left-to-right meter's last picture.
int InnerFilled(const QImage &image) {
    return FilledPixels(image.copy(1, 1, image.width() - 2, image.height() - 2), pdLeftToRight);
}

// A meter of `size` without position text, full unless told otherwise.
void Plain(TBarMeter &m, QSize size, bool border, int position = 100) {
    m.resize(size);
    m.SetShowPosText(false);
    m.SetShowBorder(border);
    m.SetPosition(position);
}

// The regions of the paints a widget receives.
class PaintSpy : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

// The smallest rectangle holding every pixel that differs.
QRect Difference(const QImage &a, const QImage &b) {
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                r |= QRect(x, y, 1, 1);
    return r;
}

// Same size, and no channel of a pixel differs by more than the rounding of
// a translucent picture drawn once more.
bool AlikeButRounding(const QImage &a, const QImage &b) {
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q),
                                qAlpha(p) - qAlpha(q)})
                if (std::abs(d) > 1)
                    return false;
        }
    return true;
}

} // namespace

class TestBarMeter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rules();
    void fillDirection_data();
    void fillDirection();
    void gradientEnds_data();
    void gradientEnds();
    void threeColourMiddle();
    void positionsAndRange();
    void barBitmapWinsOverStyle();
    void positionReusesCachedBar();
    void positionRepaintsChangedPart_data();
    void positionRepaintsChangedPart();
    void keptFrameFollowsTheBox_data();
    void keptFrameFollowsTheBox();
};

void TestBarMeter::rules() {
    // Gradient steps: each channel from + (i - 1) * (to - from) / (n - 1), halves away from zero.
    QCOMPARE(GradientStep(clBlack, clWhite, 2, 3), RGBColor(128, 128, 128)); // 127.5 up
    QCOMPARE(GradientStep(clWhite, clBlack, 2, 3), RGBColor(127, 127, 127)); // 127.5 down
    QCOMPARE(GradientStep(clGreen, clYellow, 2, 5), RGBColor(64, 160, 0));   // 63.75, 128 + 32
    QCOMPARE(GradientStep(clRed, clBlue, 1, 1), clRed); // a one-line segment: its start colour
    QCOMPARE(GradientStep(clBtnFace, clBlack, 1, 2), RGBColor(240, 240, 240));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, GradientStep(clRed, clBlue, 0, 5));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, GradientStep(clRed, clBlue, 6, 5));

    // Filled length: round to nearest, ties to even; nothing at or below Min or when Max = Min.
    QCOMPARE(BarFilledLength(1, 0, 2, 5), 2); // 2.5
    QCOMPARE(BarFilledLength(1, 0, 2, 7), 4); // 3.5
    QCOMPARE(BarFilledLength(30, 10, 50, 100), 50);
    QCOMPARE(BarFilledLength(5, 5, 5, 100), 0);
    QCOMPARE(BarFilledLength(-5, 0, 100, 50), 0);
    QCOMPARE(BarFilledLength(200, 0, 100, 50), 50);
    QCOMPARE(BarFilledLength(2147483647, -2147483647 - 1, -2147483647, 10), 10);

    // Position text: percentages round ties to even; a percentage of Max 0 shows nothing.
    QCOMPARE(BarPositionNumber(-7, 200, false), QStringLiteral("-7"));
    QCOMPARE(BarPositionNumber(50, 200, true), QStringLiteral("25"));
    QCOMPARE(BarPositionNumber(1, 8, true), QStringLiteral("12")); // 12.5
    QCOMPARE(BarPositionNumber(3, 8, true), QStringLiteral("38")); // 37.5
    QCOMPARE(BarPositionNumber(300, 200, true), QStringLiteral("150"));
    QCOMPARE(BarPositionNumber(0, 0, true), QString());

    // The text shown: the prefix, the number, the suffix, each drawn.
    TBarMeter m;
    m.resize(120, 20);
    m.SetPosition(42);
    QImage before;
    for (const auto &[prefix, suffix, text] :
         {std::tuple{"", "", "42"}, {"P ", "", "P 42"}, {"P ", " W", "P 42 W"}}) {
        m.SetPosTextPrefix(QLatin1String(prefix));
        m.SetPosTextSuffix(QLatin1String(suffix));
        QCOMPARE(m.PositionText(), QLatin1String(text));
        m.Compose(true);
        QVERIFY(m.OffscreenPicture() != before);
        before = m.OffscreenPicture();
    }
}

void TestBarMeter::fillDirection_data() {
    QTest::addColumn<TProgressDirection>("direction");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("border");
    QTest::addColumn<int>("filled");
    QTest::addColumn<QPoint>("firstFilled");
    QTest::addColumn<QPoint>("firstEmpty");
    const QSize wide(200, 20), tall(20, 102);
    QTest::newRow("defaults 50") << pdLeftToRight << wide << 50 << true << 99 << QPoint(1, 10)
                                 << QPoint(100, 10);
    QTest::newRow("right to left")
        << pdRightToLeft << wide << 25 << true << 50 << QPoint(198, 10) << QPoint(148, 10);
    QTest::newRow("bottom to top")
        << pdBottomToTop << tall << 30 << true << 30 << QPoint(10, 100) << QPoint(10, 70);
    QTest::newRow("top to bottom")
        << pdTopToBottom << tall << 30 << true << 30 << QPoint(10, 1) << QPoint(10, 31);
    QTest::newRow("no border") << pdLeftToRight << wide << 50 << false << 100 << QPoint(0, 10)
                               << QPoint(100, 10);
    QTest::newRow("full") << pdLeftToRight << wide << 100 << true << 198 << QPoint(198, 10)
                          << QPoint(199, 10);
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
    m.SetDirection(direction);
    m.SetBorderColor1(clBlue);
    m.SetBorderColor2(clFuchsia);
    Plain(m, size, border, position);
    const QImage image = Render(m);
    const int w = size.width() - 1, h = size.height() - 1;
    if (border) { // top and left lines in the first colour, bottom and right in the second
        for (const QPoint p : {QPoint(w, 0), QPoint(0, h), QPoint(w / 2, 0), QPoint(0, h / 2)})
            QCOMPARE(PixelColor(image, p.x(), p.y()), clBlue);
        for (const QPoint p : {QPoint(w / 2, h), QPoint(w, h), QPoint(w, h / 2)})
            QCOMPARE(PixelColor(image, p.x(), p.y()), clFuchsia);
    }
    // The border lines are neither bar nor background: count inside them.
    const QImage inner = border ? image.copy(1, 1, size.width() - 2, size.height() - 2) : image;
    QCOMPARE(FilledPixels(inner, direction), filled);
    QVERIFY(PixelColor(image, firstFilled.x(), firstFilled.y()) != kBack);
    // A full bar ends at the border.
    const TColor empty = position == m.Max() ? clFuchsia : kBack;
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
    const TProgressDirection directions[] = {pdLeftToRight, pdRightToLeft, pdTopToBottom,
                                             pdBottomToTop};
    const QPoint origins[] = {left, right, top, bottom}, ends[] = {right, left, bottom, top};
    const TColor farColors[] = {clGreen, clYellow, clRed}; // by style
    for (int d = 0; d < 4; ++d)
        for (TBarColorStyle style : {cs1Color, cs2Colors, cs3Colors})
            QTest::addRow("direction %d, %d colours", d, style + 1)
                << directions[d] << style << origins[d] << ends[d] << farColors[style];
}

void TestBarMeter::gradientEnds() {
    QFETCH(TProgressDirection, direction);
    QFETCH(TBarColorStyle, style);
    QFETCH(QPoint, origin);
    QFETCH(QPoint, farEnd);
    QFETCH(TColor, farColor);
    TBarMeter m;
    const bool horizontal = direction == pdLeftToRight || direction == pdRightToLeft;
    m.SetDirection(direction);
    m.SetBarColorStyle(style);
    Plain(m, horizontal ? QSize(100, 20) : QSize(20, 100), false);
    const QImage image = Render(m);
    QCOMPARE(PixelColor(image, origin.x(), origin.y()), clGreen);
    QCOMPARE(PixelColor(image, farEnd.x(), farEnd.y()), farColor);
}

void TestBarMeter::threeColourMiddle() {
    TBarMeter m;
    Plain(m, QSize(101, 10), false);
    const QImage image = Render(m);
    // The first segment is lines 0..49, the second 50..100: yellow on 49 and 50.
    QCOMPARE(PixelColor(image, 49, 5), clYellow);
    QCOMPARE(PixelColor(image, 50, 5), clYellow);
    QVERIFY(PixelColor(image, 48, 5) != clYellow);
    QVERIFY(PixelColor(image, 51, 5) != clYellow);
    QCOMPARE(PixelColor(image, 100, 5), clRed);

    // Meters too short for two steps per segment: a one-line segment takes its start colour.
    const TColor first[] = {clYellow, clGreen, clGreen}, last[] = {clYellow, clYellow, clRed};
    for (int w = 1; w <= 3; ++w) {
        TBarMeter tiny;
        Plain(tiny, QSize(w, 4), false);
        const QImage t = Render(tiny);
        QCOMPARE(PixelColor(t, 0, 0), first[w - 1]);
        QCOMPARE(PixelColor(t, w - 1, 0), last[w - 1]);
    }
}

void TestBarMeter::positionsAndRange() {
    // Positions outside Min..Max are dropped, leaving the previous bar.
    TBarMeter m;
    Plain(m, QSize(200, 20), true, 40);
    const QImage before = Render(m);
    for (int outside : {101, -1}) {
        m.SetPosition(outside);
        QCOMPARE(m.Position(), 40);
        QCOMPARE(Render(m), before);
    }
    m.SetPosition(0);
    QCOMPARE(InnerFilled(Render(m)), 0);
    // Max = Min shows no bar, whatever the position.
    m.SetPosition(50);
    m.SetMax(50);
    m.SetMin(50);
    QCOMPARE(InnerFilled(Render(m)), 0);
    m.SetMax(100);
    m.SetPosition(60);
    m.SetMin(100);
    QCOMPARE(m.Position(), 60);
    QCOMPARE(InnerFilled(Render(m)), 0);

    // Max lowered below the position: a full bar, border untouched.
    TBarMeter low;
    Plain(low, QSize(200, 20), true, 80);
    low.SetMax(40);
    QCOMPARE(low.Position(), 80);
    const QImage image = Render(low);
    QCOMPARE(InnerFilled(image), 198);
    // The gradient spans the border too: its last inner line is one step short of red.
    QCOMPARE(PixelColor(image, 198, 10), GradientStep(clYellow, clRed, 99, 100));
    QCOMPARE(PixelColor(image, 199, 10), ColorToRGB(clBtnHighlight));
}

void TestBarMeter::barBitmapWinsOverStyle() {
    QImage tile(4, 4, QImage::Format_RGB32);
    tile.fill(qRgb(0, 0, 255));
    tile.setPixel(0, 0, qRgb(255, 0, 255));
    for (TBarColorStyle style : {cs1Color, cs2Colors, cs3Colors}) {
        TBarMeter m;
        m.SetBarColorStyle(style);
        m.SetBarBitmap(tile);
        Plain(m, QSize(200, 20), true, 50);
        const QImage image = Render(m);
        QCOMPARE(PixelColor(image, 4, 4), clFuchsia);
        QCOMPARE(PixelColor(image, 5, 4), clBlue);
        QCOMPARE(PixelColor(image, 96, 12), clFuchsia);
        QCOMPARE(PixelColor(image, 150, 10), kBack);
    }
}

void TestBarMeter::positionReusesCachedBar() {
    // The output meter of the main window.
    TBarMeter m;
    m.SetMax(1200);
    Plain(m, QSize(401, 33), true, 0);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    const int builds = m.BarPictureBuilds();
    QVERIFY(builds > 0);
    // Setters ask for a paint; several changes before it cost one.
    m.SetPosition(300);
    m.SetPosition(600);
    QCOMPARE(InnerFilled(m.OffscreenPicture()), 0);
    m.repaint();
    QCOMPARE(m.BarPictureBuilds(), builds);
    QCOMPARE(InnerFilled(m.OffscreenPicture()), 200);
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
    QCOMPARE(InnerFilled(m.OffscreenPicture()), 457);
    const QImage shown = Render(m);
    QCOMPARE(PixelColor(shown, 500, 16), ColorToRGB(clBtnHighlight));
    QCOMPARE(PixelColor(shown, 450, 16), GradientStep(clYellow, clBlue, 201, 251));
}

// A new position repaints the stretch between the old and the new end of
// the bar (a pixel more each side), the whole meter when its number shows,
// nothing when the filled length stays.
void TestBarMeter::positionRepaintsChangedPart_data() {
    QTest::addColumn<TProgressDirection>("direction");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("max");
    QTest::addColumn<bool>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QRect>("painted");
    const QSize wide(200, 20), tall(20, 102);
    QTest::newRow("grows to the right")
        << pdLeftToRight << wide << 100 << false << 20 << 50 << QRect(40, 0, 61, 20);
    QTest::newRow("shrinks to the right")
        << pdRightToLeft << wide << 100 << false << 50 << 20 << QRect(99, 0, 61, 20);
    QTest::newRow("rises from empty")
        << pdBottomToTop << tall << 100 << false << 0 << 30 << QRect(0, 70, 20, 32);
    QTest::newRow("falls to empty")
        << pdTopToBottom << tall << 100 << false << 30 << 0 << QRect(0, 0, 20, 32);
    QTest::newRow("same length") << pdLeftToRight << wide << 1200 << false << 600 << 603 << QRect();
    QTest::newRow("number shown") << pdLeftToRight << wide << 100 << true << 20 << 21
                                  << QRect(0, 0, 200, 20);
}

void TestBarMeter::positionRepaintsChangedPart() {
    QFETCH(TProgressDirection, direction);
    QFETCH(QSize, size);
    QFETCH(int, max);
    QFETCH(bool, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QRect, painted);
    TBarMeter m;
    m.SetDirection(direction);
    m.SetMax(max);
    Plain(m, size, true, from);
    m.SetShowPosText(text);
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QTest::qWait(20);
    const QImage before = Render(m);
    PaintSpy spy;
    m.installEventFilter(&spy);
    m.SetPosition(to);
    QTest::qWait(20);
    QCOMPARE(spy.painted.boundingRect(), painted);
    // What the paint left out did not change.
    const QImage after = Render(m);
    QVERIFY(spy.painted.contains(Difference(before, after)) || before == after);
    QCOMPARE(after == before, painted.isEmpty());
}

void TestBarMeter::keptFrameFollowsTheBox_data() {
    QTest::addColumn<int>("change");
    QTest::newRow("title") << 0;
    QTest::newRow("size") << 1;
    QTest::newRow("colour") << 2;
    QTest::newRow("disabled") << 3;
    QTest::newRow("font") << 4;
}

// A box keeping its frame looks as a plain one does after each change.
void TestBarMeter::keptFrameFollowsTheBox() {
    QFETCH(int, change);
    TGroupBox kept(QStringLiteral("Power"));
    kept.KeepFrame();
    QGroupBox plain(QStringLiteral("Power"));
    for (QGroupBox *box : {static_cast<QGroupBox *>(&kept), &plain}) {
        box->resize(200, 90);
        box->setAutoFillBackground(true);
    }
    QVERIFY(AlikeButRounding(kept.grab().toImage(), plain.grab().toImage()));
    for (QGroupBox *box : {static_cast<QGroupBox *>(&kept), &plain}) {
        QPalette p = box->palette();
        QFont f = box->font();
        switch (change) {
        case 0:
            box->setTitle(QStringLiteral("Temperature"));
            break;
        case 1:
            box->resize(260, 120);
            break;
        case 2:
            p.setColor(QPalette::WindowText, Qt::red);
            box->setPalette(p);
            break;
        case 3:
            box->setEnabled(false);
            break;
        case 4:
            f.setPointSize(f.pointSize() + 6);
            box->setFont(f);
            break;
        }
    }
    QVERIFY(AlikeButRounding(kept.grab().toImage(), plain.grab().toImage()));
}

QTEST_MAIN(TestBarMeter)
#include "tst_barmeter.moc"
