// SPDX-License-Identifier: GPL-3.0-or-later
// TBarMeter: off-screen composition, the cached bar picture and the
// gradient step rule.
#include "widgets/BarMeter.h"

#include "widgets/Accessible.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

// (numerator / denominator) rounded to the nearest integer, halves away from zero.
int DivideRounded(int numerator, int denominator) {
    const bool negative = (numerator < 0) != (denominator < 0);
    const long long a = std::llabs(static_cast<long long>(numerator));
    const long long d = std::llabs(static_cast<long long>(denominator));
    const long long q = (2 * a + d) / (2 * d);
    return int(negative ? -q : q);
}

int Channel(TColor c, int shift) {
    return int((c >> shift) & 0xFF);
}

// A rectangle given by its left, top and exclusive right and bottom edges.
QRect EdgeRect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

TColor GradientStep(TColor from, TColor to, int index, int count) {
    if (index < 1 || index > count)
        throw std::out_of_range("ColorIndex can't be less than 1 or greater than " +
                                std::to_string(count));
    const TColor a = ColorToRGB(from);
    const TColor b = ColorToRGB(to);
    // A segment one line long has no second step to reach: it shows its start colour.
    if (count == 1)
        return a;
    TColor result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int start = Channel(a, shift);
        const int value =
            start + DivideRounded((index - 1) * (Channel(b, shift) - start), count - 1);
        result |= TColor(value & 0xFF) << shift;
    }
    return result;
}

int BarFilledLength(int position, int min, int max, int length) {
    if (!(min < position) || max == min)
        return 0;
    const double span = std::fabs(double(max) - double(min));
    const double filled = std::nearbyint((double(position) - double(min)) / span * length);
    // Beyond the full length nothing more is drawn; keep the value representable.
    if (filled > length)
        return length;
    return int(filled);
}

QString BarPositionNumber(int position, int max, bool percentage) {
    if (!percentage)
        return QString::number(position);
    // A percentage of nothing has no number.
    if (max == 0)
        return QString();
    const double percent = std::nearbyint(double(position) / double(max) * 100.0);
    return QString::number(static_cast<qint64>(percent));
}

namespace {

// A level bar with its reading in the unit it shows (watts for the power
// meters); the value cannot be set through it.
class AccessibleBarMeter : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleBarMeter(TBarMeter *meter)
        : QAccessibleWidget(meter, QAccessible::ProgressBar) {}

    TBarMeter *meter() const { return static_cast<TBarMeter *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return meter()->ValueText();
        if (t == QAccessible::Description) {
            const QString hint = widget()->accessibleDescription();
            return hint.isEmpty() ? meter()->ValueText()
                                  : meter()->ValueText() + QStringLiteral(". ") + hint;
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return meter()->ScaledValue(meter()->Position()); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return meter()->ScaledValue(meter()->Max()); }
    QVariant minimumValue() const override { return meter()->ScaledValue(meter()->Min()); }
    QVariant minimumStepSize() const override { return meter()->ScaledValue(1); }
};

QAccessibleInterface *AccessibleFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("TBarMeter"))
        if (auto *w = qobject_cast<TBarMeter *>(object))
            return new AccessibleBarMeter(w);
    return nullptr;
}

} // namespace

TBarMeter::TBarMeter(QWidget *parent) : QWidget(parent) {
    InstallAccessibility<AccessibleFactory>();
    // The composed picture covers the whole meter, so nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(200, 20);
    setMouseTracking(true);
}

TBarMeter::~TBarMeter() = default;

void TBarMeter::paintEvent(QPaintEvent *) {
    // The bar picture is rebuilt when something other than the position
    // changed since the last paint, or when the meter has a new size.
    m_paintRequested = false;
    Compose(m_rebuild || m_barCache.size() != DeviceSize());
    m_rebuild = false;
    if (m_offscreen.isNull())
        return;
    QPainter painter(this);
    // Disabled: a reading that is not current, drawn in shades of grey.
    painter.drawImage(
        0, 0, isEnabled() ? m_offscreen : m_offscreen.convertToFormat(QImage::Format_Grayscale8));
    // The focus frame and the selection lie over the picture, never in it.
    if (m_focusFrame.Shown(hasFocus()))
        FocusFrame::Draw(painter, rect(), ToQColor(clWindowText));
    if (m_selection >= 0 && hasFocus()) {
        // A dark line edged in white, to be seen on any colour of the bar.
        const int x = std::min(m_selection, width() - 1);
        painter.fillRect(QRect(x - 1, 1, 3, height() - 2), ToQColor(clWhite));
        painter.fillRect(QRect(x, 1, 1, height() - 2), ToQColor(clWindowText));
    }
}

void TBarMeter::SetSelection(int x) {
    const int value = x < 0 ? -1 : x;
    if (value == m_selection)
        return;
    m_selection = value;
    update();
}

// The size of the pictures in device pixels: on a dense screen they hold
// that many more pixels, so that their edges are as sharp as the text.
QSize TBarMeter::DeviceSize() const {
    const qreal ratio = devicePixelRatioF();
    return QSize(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
}

// Schedules the paint, so several changes before the next paint cost one.
void TBarMeter::SchedulePaint(bool rebuild) {
    if (rebuild)
        m_rebuild = true;
    if (m_paintRequested)
        return;
    m_paintRequested = true;
    update();
}

void TBarMeter::Compose(bool rebuild) {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        m_offscreen = QImage();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    if (m_offscreen.size() != DeviceSize() || m_offscreen.devicePixelRatio() != ratio) {
        m_offscreen = QImage(DeviceSize(), QImage::Format_RGB32);
        m_offscreen.setDevicePixelRatio(ratio);
        m_offscreen.fill(ToQColor(m_backgroundColor));
    }
    DrawBar(rebuild);
    if (m_showBorder)
        DrawBorder();
    if (m_showPosText)
        DrawPosText();
}

QRect TBarMeter::FilledRect(int position) const {
    const int w = width();
    const int h = height();
    const QRect box = m_showBorder ? EdgeRect(1, 1, w - 1, h - 1) : EdgeRect(0, 0, w, h);
    const bool horizontal = m_direction == pdLeftToRight || m_direction == pdRightToLeft;
    const int filled =
        BarFilledLength(position, m_min, m_max, horizontal ? box.width() : box.height());
    switch (m_direction) {
    case pdLeftToRight:
        return QRect(box.left(), box.top(), filled, box.height());
    case pdRightToLeft:
        return QRect(box.right() + 1 - filled, box.top(), filled, box.height());
    case pdTopToBottom:
        return QRect(box.left(), box.top(), box.width(), filled);
    case pdBottomToTop:
        break;
    }
    return QRect(box.left(), box.bottom() + 1 - filled, box.width(), filled);
}

// Geometry is in the control's pixels; the painters scale it to the pictures'
// device pixels.
void TBarMeter::DrawBar(bool rebuild) {
    const int w = width();
    const int h = height();
    QPainter painter(&m_offscreen);
    if (!m_barBitmap.isNull()) {
        if (rebuild) {
            m_barCache = QImage(DeviceSize(), QImage::Format_RGB32);
            m_barCache.setDevicePixelRatio(m_offscreen.devicePixelRatio());
            m_barCache.fill(ToQColor(m_backgroundColor));
            QPainter tiles(&m_barCache);
            const int columns = w / m_barBitmap.width() + 1;
            const int rows = h / m_barBitmap.height() + 1;
            for (int row = 0; row < rows; ++row)
                for (int column = 0; column < columns; ++column)
                    tiles.drawImage(column * m_barBitmap.width(), row * m_barBitmap.height(),
                                    m_barBitmap);
            ++m_barBuilds;
        }
        painter.drawImage(0, 0, m_barCache);
    } else if (m_barColorStyle == cs1Color) {
        painter.fillRect(QRect(0, 0, w, h), ToQColor(m_barColor1));
    } else {
        if (rebuild)
            BuildGradient();
        painter.drawImage(0, 0, m_barCache);
    }

    const bool horizontal = m_direction == pdLeftToRight || m_direction == pdRightToLeft;
    const QRect box = m_showBorder ? EdgeRect(1, 1, w - 1, h - 1) : EdgeRect(0, 0, w, h);
    const int x0 = box.left();
    const int y0 = box.top();
    const int x1 = box.left() + box.width();
    const int y1 = box.top() + box.height();
    const int length = horizontal ? box.width() : box.height();
    const int unfilled = length - BarFilledLength(m_position, m_min, m_max, length);
    if (unfilled <= 0)
        return;
    QRect rest;
    switch (m_direction) {
    case pdLeftToRight:
        rest = EdgeRect(x1 - unfilled, y0, x1, y1);
        break;
    case pdRightToLeft:
        rest = EdgeRect(x0, y0, x0 + unfilled, y1);
        break;
    case pdTopToBottom:
        rest = EdgeRect(x0, y1 - unfilled, x1, y1);
        break;
    case pdBottomToTop:
        rest = EdgeRect(x0, y0, x1, y0 + unfilled);
        break;
    }
    painter.fillRect(rest, ToQColor(m_backgroundColor));
}

// The gradient runs over device pixels, one colour step per device line.
void TBarMeter::BuildGradient() {
    const int w = m_offscreen.width();
    const int h = m_offscreen.height();
    m_barCache = QImage(w, h, QImage::Format_RGB32);
    m_barCache.setDevicePixelRatio(m_offscreen.devicePixelRatio());
    ++m_barBuilds;
    const bool horizontal = m_direction == pdLeftToRight || m_direction == pdRightToLeft;
    const bool threeColors = m_barColorStyle == cs3Colors;
    const int size = horizontal ? w : h;
    const int span = threeColors ? size / 2 : size;

    // Segment colours from the line at coordinate 0 onward.
    const bool fromFar = m_direction == pdRightToLeft || m_direction == pdBottomToTop;
    TColor firstFrom = m_barColor1;
    TColor firstTo = m_barColor2;
    TColor secondFrom = m_barColor2;
    TColor secondTo = m_barColor3;
    if (fromFar) {
        if (threeColors) {
            firstFrom = m_barColor3;
            firstTo = m_barColor2;
            secondFrom = m_barColor2;
            secondTo = m_barColor1;
        } else {
            firstFrom = m_barColor2;
            firstTo = m_barColor1;
        }
    }

    std::vector<QRgb> lines(size_t(std::max(size, 0)));
    for (int i = 1; i <= span; ++i)
        lines[size_t(i - 1)] = ToQColor(GradientStep(firstFrom, firstTo, i, span)).rgb();
    if (threeColors) {
        for (int x = span; x < size; ++x)
            lines[size_t(x)] =
                ToQColor(GradientStep(secondFrom, secondTo, x + 1 - span, size - span)).rgb();
    }

    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(m_barCache.scanLine(y));
        if (horizontal)
            std::copy(lines.begin(), lines.end(), row);
        else
            std::fill(row, row + w, lines[size_t(y)]);
    }
}

// One-pixel lines as filled rectangles, which cover whole device pixels at
// any ratio. Line-to paths leave out their end points.
void TBarMeter::DrawBorder() {
    const int w = width();
    const int h = height();
    QPainter painter(&m_offscreen);
    const QColor top = ToQColor(m_borderColor1);
    const QColor bottom = ToQColor(m_borderColor2);
    if (w > 1)
        painter.fillRect(QRect(1, 0, w - 1, 1), top);
    painter.fillRect(QRect(0, 0, 1, h), top);
    if (w > 2)
        painter.fillRect(QRect(1, h - 1, w - 2, 1), bottom);
    if (h > 1)
        painter.fillRect(QRect(w - 1, 1, 1, h - 1), bottom);
}

QString TBarMeter::PositionText() const {
    return m_posTextPrefix + BarPositionNumber(m_position, m_max, m_percentage) + m_posTextSuffix;
}

void TBarMeter::DrawPosText() {
    const QString text = PositionText();
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    const int x = width() / 2 - textWidth / 2;
    const int y = height() / 2 - textHeight / 2;
    QPainter painter(&m_offscreen);
    painter.setFont(font());
    painter.setPen(ToQColor(clWindowText));
    painter.drawText(x, y + metrics.ascent(), text);
}

void TBarMeter::SetPosition(int value) {
    // Out-of-range values are dropped, not clamped: the meter keeps its last reading.
    if (value == m_position || value > m_max || value < m_min)
        return;
    // Only the stretch between the old and the new end of the bar changes,
    // unless the text shows the number; a pixel more each side covers the
    // rounding at a fractional device pixel ratio.
    const QRect changed =
        m_showPosText ? rect()
                      : QRegion(FilledRect(m_position)).xored(FilledRect(value)).boundingRect();
    m_position = value;
    if (!changed.isEmpty())
        update(changed.adjusted(-1, -1, 1, 1) & rect());
    if (AccessibleEventsWanted()) {
        QAccessibleValueChangeEvent event(this, ScaledValue(value));
        QAccessible::updateAccessibility(&event);
    }
}

void TBarMeter::SetValueScale(double value) {
    if (value == m_valueScale)
        return;
    m_valueScale = value;
    // The same position is another reading now.
    if (AccessibleEventsWanted()) {
        QAccessibleValueChangeEvent event(this, ScaledValue(m_position));
        QAccessible::updateAccessibility(&event);
    }
}

QString TBarMeter::ValueText() const {
    const QString number = QString::number(ScaledValue(m_position), 'g', 12);
    return m_valueUnit.isEmpty() ? number : number + QLatin1Char(' ') + m_valueUnit;
}

// Every other setter stores whatever it is given and asks for a paint with
// a rebuilt bar picture.
void TBarMeter::SetBackgroundColor(TColor value) {
    m_backgroundColor = value;
    SchedulePaint(true);
}

void TBarMeter::SetBarBitmap(const QImage &value) {
    m_barBitmap = value;
    SchedulePaint(true);
}

void TBarMeter::SetBarColor1(TColor value) {
    m_barColor1 = value;
    SchedulePaint(true);
}

void TBarMeter::SetBarColor2(TColor value) {
    m_barColor2 = value;
    SchedulePaint(true);
}

void TBarMeter::SetBarColor3(TColor value) {
    m_barColor3 = value;
    SchedulePaint(true);
}

void TBarMeter::SetBarColorStyle(TBarColorStyle value) {
    m_barColorStyle = value;
    SchedulePaint(true);
}

void TBarMeter::SetBorderColor1(TColor value) {
    m_borderColor1 = value;
    SchedulePaint(true);
}

void TBarMeter::SetBorderColor2(TColor value) {
    m_borderColor2 = value;
    SchedulePaint(true);
}

void TBarMeter::SetDirection(TProgressDirection value) {
    m_direction = value;
    SchedulePaint(true);
}

void TBarMeter::SetMax(int value) {
    m_max = value;
    SchedulePaint(true);
}

void TBarMeter::SetMin(int value) {
    m_min = value;
    SchedulePaint(true);
}

void TBarMeter::SetPercentage(bool value) {
    m_percentage = value;
    SchedulePaint(true);
}

void TBarMeter::SetPosTextPrefix(const QString &value) {
    m_posTextPrefix = value;
    SchedulePaint(true);
}

void TBarMeter::SetPosTextSuffix(const QString &value) {
    m_posTextSuffix = value;
    SchedulePaint(true);
}

void TBarMeter::SetShowBorder(bool value) {
    m_showBorder = value;
    SchedulePaint(true);
}

void TBarMeter::SetShowPosText(bool value) {
    m_showPosText = value;
    SchedulePaint(true);
}

void TBarMeter::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        SchedulePaint(true);
}

void TBarMeter::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    if (OnMouseDown) {
        const QPoint p = event->position().toPoint();
        OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
    }
}

void TBarMeter::mouseReleaseEvent(QMouseEvent *event) {
    const QPoint p = event->position().toPoint();
    const bool click = event->button() == Qt::LeftButton && m_leftPressed && rect().contains(p);
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    if (click && OnClick)
        OnClick(this);
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
}

void TBarMeter::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
    // The second press of a double click is a press too.
    mousePressEvent(event);
}

void TBarMeter::mouseMoveEvent(QMouseEvent *event) {
    if (OnMouseMove) {
        const QPoint p = event->position().toPoint();
        OnMouseMove(this, event->modifiers(), p.x(), p.y());
    }
}

void TBarMeter::keyPressEvent(QKeyEvent *event) {
    if (OnActivate && m_keyStroke.Press(*event))
        return;
    if (OnKeyDown && OnKeyDown(this, event->key(), event->modifiers()))
        return;
    QWidget::keyPressEvent(event);
}

void TBarMeter::keyReleaseEvent(QKeyEvent *event) {
    if (OnActivate && KeyStroke::IsActivation(event->key())) {
        if (m_keyStroke.Release(*event))
            OnActivate(this);
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void TBarMeter::focusInEvent(QFocusEvent *event) {
    QWidget::focusInEvent(event);
    m_focusFrame.FocusIn(event->reason());
    update();
}

void TBarMeter::focusOutEvent(QFocusEvent *event) {
    QWidget::focusOutEvent(event);
    m_keyStroke.Cancel();
    m_focusFrame.FocusOut(event->reason());
    // The window losing its activation keeps the place for the return.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        m_selection = -1;
    update();
}
