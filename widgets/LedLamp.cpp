// SPDX-License-Identifier: GPL-3.0-or-later
// TLedLamp: template pixel art, picture building by flood fill, blinking.
#include "widgets/LedLamp.h"

#include "widgets/Accessible.h"

#include <QAccessibleWidget>
#include <QEnterEvent>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <vector>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(128, 128, 128);
const QRgb kSilver = qRgb(192, 192, 192);
const QRgb kLime = qRgb(0, 255, 0);

struct StyleInfo {
    int width;
    int height;
    int faceWidth;
    int faceHeight;
    bool round;
    const char *framedName;
    const char *plainName;
};

const StyleInfo kStyles[] = {
    {16, 16, 8, 8, true, "BSM", "NSM"},      {22, 22, 14, 14, true, "BLG", "NLG"},
    {16, 16, 8, 8, false, "BSQSM", "NSQSM"}, {22, 22, 12, 12, false, "BSQLG", "NSQLG"},
    {16, 22, 6, 12, false, "BVT", "NVT"},    {22, 16, 12, 6, false, "BHZ", "NHZ"},
};

const StyleInfo &InfoOf(TLEDStyle style) {
    const int index = int(style);
    return kStyles[index >= 0 && index < int(std::size(kStyles)) ? index : 0];
}

// Rings round the face at the point (x, y) of the lamp, in lamp pixels
// (fractions give the finer rings of a dense screen): 0 inside the face, 1
// for the first ring outside, and so on. Both shapes keep neighbouring pixels
// at most one ring apart, so the black first ring closes the face off from
// the background for a 4-connected fill.
int RingOf(const StyleInfo &s, double x, double y) {
    if (s.round) {
        const double dx = x - s.width / 2.0;
        const double dy = y - s.height / 2.0;
        const double d = std::sqrt(dx * dx + dy * dy) - s.faceWidth / 2.0;
        return d <= 0 ? 0 : int(std::ceil(d));
    }
    const int px = int(std::floor(x));
    const int py = int(std::floor(y));
    const int x0 = s.width / 2 - s.faceWidth / 2;
    const int y0 = s.height / 2 - s.faceHeight / 2;
    const int outX = px < x0 ? x0 - px : (px >= x0 + s.faceWidth ? px - (x0 + s.faceWidth) + 1 : 0);
    const int outY =
        py < y0 ? y0 - py : (py >= y0 + s.faceHeight ? py - (y0 + s.faceHeight) + 1 : 0);
    return std::max(outX, outY);
}

// The device-pixel size of a lamp picture at `ratio`.
QSize DeviceSize(const StyleInfo &s, qreal ratio) {
    return QSize(int(std::ceil(s.width * ratio)), int(std::ceil(s.height * ratio)));
}

// The template at a device pixel ratio: every device pixel takes the colour
// of the lamp point at its centre, so round faces keep smooth edges on a
// dense screen while the pixel-art parts (highlight, raised edge) grow as
// blocks. At ratio 1 each pixel is sampled at its own centre.
QImage DrawTemplate(const StyleInfo &s, bool framed, qreal ratio) {
    const QSize size = DeviceSize(s, ratio);
    QImage image(size, QImage::Format_RGB32);
    image.fill(kSilver);
    // Highlight in the upper left of the face.
    const int hx = s.round ? s.width / 2 - s.faceWidth / 4 - 1 : s.width / 2 - s.faceWidth / 2 + 1;
    const int hy =
        s.round ? s.height / 2 - s.faceHeight / 4 - 1 : s.height / 2 - s.faceHeight / 2 + 1;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const double lx = (x + 0.5) / ratio;
            const double ly = (y + 0.5) / ratio;
            const int ring = RingOf(s, lx, ly);
            QRgb colour = kSilver;
            if (ring == 0)
                colour = kLime;
            else if (ring == 1)
                colour = kBlack;
            else if (ring == 2 && framed)
                colour = kGrey;
            const int px = std::min(int(lx), s.width - 1);
            const int py = std::min(int(ly), s.height - 1);
            if ((px == hx && py == hy) || (px == hx + 1 && py == hy) || (px == hx && py == hy + 1))
                colour = kWhite;
            // Raised outer edge: top row and left column white, bottom row
            // and right column grey, the bottom-left corner grey.
            if (framed) {
                if (py == s.height - 1 || px == s.width - 1)
                    colour = kGrey;
                else if (py == 0 || px == 0)
                    colour = kWhite;
            }
            image.setPixel(x, y, colour);
        }
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

} // namespace

QImage LedTemplate(const QString &name) {
    return LedTemplate(name, 1.0);
}

QImage LedTemplate(const QString &name, qreal ratio) {
    // Drawn once per name and ratio; a program meets one or two ratios.
    static QHash<QString, QImage> templates;
    const QString key = name + QLatin1Char('@') + QString::number(ratio);
    const auto found = templates.constFind(key);
    if (found != templates.constEnd())
        return *found;
    for (const StyleInfo &s : kStyles) {
        if (name == QLatin1String(s.framedName) || name == QLatin1String(s.plainName)) {
            const QImage image = DrawTemplate(s, name == QLatin1String(s.framedName), ratio);
            templates.insert(key, image);
            return image;
        }
    }
    return QImage();
}

void FloodFillSurface(QImage &image, int x, int y, QRgb target, QRgb fill) {
    if (!image.rect().contains(x, y) || image.pixel(x, y) != target || target == fill)
        return;
    std::vector<QPoint> stack{QPoint(x, y)};
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        if (!image.rect().contains(p) || image.pixel(p) != target)
            continue;
        image.setPixel(p, fill);
        stack.emplace_back(p.x() + 1, p.y());
        stack.emplace_back(p.x() - 1, p.y());
        stack.emplace_back(p.x(), p.y() + 1);
        stack.emplace_back(p.x(), p.y() - 1);
    }
}

namespace {

// A lamp reads as a label: its name is what it stands for (the window's
// accessible name), its description whether it is lit, in which colour and
// what that colour means. Qt's indicator role would reach the platform's
// accessibility bus as an unknown object, which screen readers pass over.
class AccessibleLedLamp : public QAccessibleWidget {
public:
    explicit AccessibleLedLamp(TLedLamp *lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description)
            return static_cast<TLedLamp *>(widget())->StateDescription();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *AccessibleFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("TLedLamp"))
        if (auto *w = qobject_cast<TLedLamp *>(object))
            return new AccessibleLedLamp(w);
    return nullptr;
}

} // namespace

TLedLamp::TLedLamp(QWidget *parent) : QWidget(parent) {
    InstallAccessibility<AccessibleFactory>();
    // The picture covers the whole control, so nothing behind it needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(16, 16);
    BuildPictures();
}

TLedLamp::~TLedLamp() {
    StopBlinking();
}

void TLedLamp::BuildPictures() {
    const StyleInfo &s = InfoOf(m_style);
    resize(s.width, s.height);
    MakePictures(devicePixelRatioF());
}

// The two pictures at the screen's device pixel ratio, so that a dense
// screen shows them as sharp as the text beside them.
void TLedLamp::MakePictures(qreal ratio) {
    const StyleInfo &s = InfoOf(m_style);
    const QImage base = LedTemplate(QLatin1String(m_bordered ? s.framedName : s.plainName), ratio)
                            .convertToFormat(QImage::Format_RGB32);
    m_lit = base.copy();
    m_unlit = base.copy();
    m_lit.setDevicePixelRatio(ratio);
    m_unlit.setDevicePixelRatio(ratio);
    // The template is exactly the style's size, so the control's centre is its centre.
    const int cx = int((s.width / 2) * ratio);
    const int cy = int((s.height / 2) * ratio);
    FloodFillSurface(m_lit, cx, cy, kLime, ToQColor(m_trueColor).rgb());
    FloodFillSurface(m_unlit, cx, cy, kLime, ToQColor(m_falseColor).rgb());
    if (!m_bordered) {
        const QRgb border = ToQColor(m_borderColor).rgb();
        FloodFillSurface(m_lit, 0, 0, kSilver, border);
        FloodFillSurface(m_unlit, 0, 0, kSilver, border);
    }
}

void TLedLamp::paintEvent(QPaintEvent *) {
    m_paintRequested = false;
    // The lamp moved to a screen of another density.
    if (!qFuzzyCompare(m_lit.devicePixelRatio(), devicePixelRatioF()))
        MakePictures(devicePixelRatioF());
    QPainter painter(this);
    const QImage &face = m_selector == 0 ? m_lit : m_unlit;
    // Disabled: a state that is not current, drawn in shades of grey.
    painter.drawImage(rect(), isEnabled() ? face : face.convertToFormat(QImage::Format_Grayscale8));
}

// Schedules the paint: several changes before the next paint cost one.
void TLedLamp::DrawPicture(int selector) {
    m_selector = selector;
    if (m_paintRequested)
        return;
    m_paintRequested = true;
    update();
}

void TLedLamp::StartBlinking() {
    if (m_blinking)
        return;
    m_blinking = true;
    m_selector = 0;
    if (!m_timer) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &TLedLamp::BlinkStep);
    }
    m_timer->setInterval(std::max(m_interval, 0));
    // A timer of no interval does not run, rather than blinking as fast as it can.
    if (m_interval > 0)
        m_timer->start();
}

void TLedLamp::StopBlinking() {
    m_blinking = false;
    if (m_timer)
        m_timer->stop();
}

void TLedLamp::BlinkStep() {
    DrawPicture(m_selector == 0 ? 1 : 0);
    if (OnTimer)
        OnTimer(this);
}

void TLedLamp::SetValue(bool value) {
    if (value == m_value)
        return;
    m_value = value;
    NotifyAccessible(this, QAccessible::DescriptionChanged);
    if (m_value) {
        DrawPicture(0);
        if (m_blink)
            StartBlinking();
    } else {
        StopBlinking();
        DrawPicture(1);
    }
}

void TLedLamp::SetBlink(bool value) {
    if (value == m_blink)
        return;
    DrawPicture(m_value ? 0 : 1);
    m_blink = value;
    if (m_blink && m_value)
        StartBlinking();
    else
        StopBlinking();
}

void TLedLamp::ColorChanged(TColor &stored, TColor value) {
    if (stored == value)
        return;
    const bool blink = m_blink;
    if (blink)
        SetBlink(false);
    stored = value;
    BuildPictures();
    SetBlink(blink);
    update();
    NotifyAccessible(this, QAccessible::DescriptionChanged);
}

void TLedLamp::SetColorMeaning(TColor color, const QString &meaning) {
    m_meanings.insert(ColorToRGB(color), meaning);
}

QString TLedLamp::StateDescription() const {
    const TColor shown = m_value ? m_trueColor : m_falseColor;
    QString text = m_value ? QStringLiteral("lit") : QStringLiteral("unlit");
    const QString colour = ColorName(shown);
    if (!colour.isEmpty())
        text += QStringLiteral(", ") + colour;
    const QString meaning = m_meanings.value(ColorToRGB(shown));
    if (!meaning.isEmpty())
        text += QStringLiteral(": ") + meaning;
    if (!accessibleDescription().isEmpty())
        text += QStringLiteral(". ") + accessibleDescription();
    return text;
}

void TLedLamp::SetTrueColor(TColor value) {
    ColorChanged(m_trueColor, value);
}
void TLedLamp::SetFalseColor(TColor value) {
    ColorChanged(m_falseColor, value);
}
void TLedLamp::SetBorderColor(TColor value) {
    ColorChanged(m_borderColor, value);
}

void TLedLamp::SetLEDStyle(TLEDStyle value) {
    if (value == m_style)
        return;
    m_style = value;
    BuildPictures();
    update();
}

void TLedLamp::SetBordered(bool value) {
    if (value == m_bordered)
        return;
    m_bordered = value;
    BuildPictures();
    update();
}

void TLedLamp::SetInterval(int value) {
    m_interval = value;
    if (!m_blinking)
        return;
    if (value > 0)
        m_timer->start(value);
    else
        m_timer->stop();
}

void TLedLamp::enterEvent(QEnterEvent *event) {
    QWidget::enterEvent(event);
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TLedLamp::leaveEvent(QEvent *event) {
    QWidget::leaveEvent(event);
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TLedLamp::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_clickArmed = true;
    QWidget::mousePressEvent(event);
}

void TLedLamp::mouseReleaseEvent(QMouseEvent *event) {
    const bool click = event->button() == Qt::LeftButton && m_clickArmed &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_clickArmed = false;
    QWidget::mouseReleaseEvent(event);
    if (click && OnClick)
        OnClick(this);
}
