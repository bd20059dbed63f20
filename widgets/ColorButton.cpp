// SPDX-License-Identifier: GPL-3.0-or-later
// TColorButton: looks, grow-to-fit and the latch order of a click.
#include "widgets/ColorButton.h"

#include "widgets/Accessible.h"

#include <QAccessibleWidget>
#include <QEnterEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// An axis-parallel polyline drawn like the classic line-to: every segment
// leaves out its end point, which the next segment starts from. The segments
// are filled rectangles one unit wide, so that on a dense screen they cover
// whole device pixels as sharply as at ratio 1.
void PolyLine(QPainter &painter, const QColor &color, std::initializer_list<QPoint> points) {
    const QPoint *previous = nullptr;
    for (const QPoint &p : points) {
        if (previous) {
            const QPoint delta = p - *previous;
            const QPoint step(delta.x() > 0 ? 1 : (delta.x() < 0 ? -1 : 0),
                              delta.y() > 0 ? 1 : (delta.y() < 0 ? -1 : 0));
            if (delta != QPoint(0, 0)) {
                const QPoint end = p - step;
                painter.fillRect(
                    QRect(
                        QPoint(std::min(previous->x(), end.x()), std::min(previous->y(), end.y())),
                        QPoint(std::max(previous->x(), end.x()), std::max(previous->y(), end.y()))),
                    color);
            }
        }
        previous = &p;
    }
}

int HorizontalFlag(TAlignment alignment) {
    switch (alignment) {
    case taLeftJustify:
        return Qt::AlignLeft;
    case taRightJustify:
        return Qt::AlignRight;
    case taCenter:
        break;
    }
    return Qt::AlignHCenter;
}

// A rectangle given by its left, top and exclusive right and bottom edges.
QRect EdgeRect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

namespace {

// A push button; a latching one is a toggle button whose Down is its
// checked state. Pressing it through the screen reader is a click.
class AccessibleColorButton : public QAccessibleWidget {
public:
    explicit AccessibleColorButton(TColorButton *button)
        : QAccessibleWidget(button, QAccessible::PushButton) {}

    TColorButton *button() const { return static_cast<TColorButton *>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return button()->Caption();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (button()->Latching()) {
            s.checkable = true;
            s.checked = button()->Down();
            s.pressed = button()->Pressed();
        } else {
            s.pressed = button()->Pressed() || button()->Down();
        }
        return s;
    }

    QStringList actionNames() const override {
        QStringList names{QAccessibleActionInterface::pressAction()};
        if (button()->Latching())
            names << QAccessibleActionInterface::toggleAction();
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override {
        if (!widget()->isEnabled())
            return;
        if (action == QAccessibleActionInterface::pressAction() ||
            action == QAccessibleActionInterface::toggleAction())
            button()->Activate();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *AccessibleFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("TColorButton"))
        if (auto *w = qobject_cast<TColorButton *>(object))
            return new AccessibleColorButton(w);
    return nullptr;
}

} // namespace

TColorButton::TColorButton(QWidget *parent) : QWidget(parent) {
    InstallAccessibility<AccessibleFactory>();
    resize(24, 24);
    // Reached with Tab only: a mouse click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
}

TColorButton::~TColorButton() = default;

QRect TColorButton::TextRect() const {
    if (m_wordWrap)
        return EdgeRect(m_marginHorizontal, m_marginVertical, width() - m_marginHorizontal,
                        height() - m_marginVertical);
    return EdgeRect(m_marginHorizontal, 0, width() - m_marginHorizontal, height());
}

int TColorButton::TextFlags() const {
    if (m_wordWrap)
        return HorizontalFlag(m_alignment) | Qt::AlignTop | Qt::TextWordWrap;
    return HorizontalFlag(m_alignment) | Qt::AlignVCenter | Qt::TextSingleLine;
}

void TColorButton::GrowToFit() {
    const QFontMetrics metrics(font());
    if (m_wordWrap) {
        const QRect area =
            EdgeRect(m_marginHorizontal, m_marginVertical, width() - m_marginHorizontal, height());
        const int needed =
            metrics.boundingRect(area, TextFlags(), m_caption).height() + m_marginVertical + 1;
        if (height() < needed)
            resize(width(), needed);
        return;
    }
    const int neededWidth = metrics.horizontalAdvance(m_caption) + 2 * m_marginHorizontal;
    const int neededHeight = metrics.height() + 2 * m_marginVertical;
    // resize() keeps to the minimum and maximum sizes set on the button.
    if (width() < neededWidth || height() < neededHeight)
        resize(std::max(width(), neededWidth), std::max(height(), neededHeight));
}

void TColorButton::paintEvent(QPaintEvent *) {
    const bool bitmapUsable =
        !m_backBitmap.isNull() && m_backBitmap.width() > 0 && m_backBitmap.height() > 0;
    GrowToFit();

    QRect textRect = TextRect();
    const bool downLook = m_pressed || m_down;
    if (downLook)
        textRect.translate(1, 1);

    enum class Edge { None, Raised, Sunken };
    TColor face;
    TColor text;
    Edge edge;
    if (downLook) {
        face = m_downColor;
        text = m_downFontColor;
        edge = Edge::Sunken;
    } else if (m_hot && m_hotTrack) {
        face = m_hotColor;
        text = m_hotFontColor;
        edge = Edge::Raised;
    } else {
        face = m_color;
        text = m_fontColor;
        edge = (!m_hot && m_flat) ? Edge::None : Edge::Raised;
    }

    QPainter painter(this);
    painter.setFont(font());
    if (bitmapUsable) {
        const int rows = height() / m_backBitmap.height() + 1;
        const int columns = width() / m_backBitmap.width() + 1;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column)
                painter.drawImage(column * m_backBitmap.width(), row * m_backBitmap.height(),
                                  m_backBitmap);
    } else {
        painter.fillRect(rect(), ToQColor(face));
    }

    const int r = width() - 1;
    const int b = height() - 1;
    const QColor white(255, 255, 255);
    const QColor grey(128, 128, 128);
    if (edge != Edge::None) {
        const bool raised = edge == Edge::Raised;
        PolyLine(painter, raised ? white : grey, {QPoint(r, 0), QPoint(0, 0), QPoint(0, b)});
        PolyLine(painter, raised ? grey : white, {QPoint(0, b), QPoint(r, b), QPoint(r, 0)});
    }

    if (m_focusFrame.Shown(hasFocus()))
        FocusFrame::Draw(painter, rect(), ToQColor(text));

    painter.setClipRect(textRect);
    painter.setPen(ToQColor(text));
    painter.drawText(textRect, TextFlags(), m_caption);
}

void TColorButton::Click() {
    if (m_pressed && onclick)
        onclick(this);
}

void TColorButton::SetPressedLook(bool pressed) {
    const bool changed = m_pressed != pressed;
    m_pressed = pressed;
    update();
    if (changed && AccessibleEventsWanted()) {
        QAccessible::State states;
        states.pressed = true;
        QAccessibleStateChangeEvent event(this, states);
        QAccessible::updateAccessibility(&event);
    }
}

void TColorButton::ToggleLatch() {
    if (!m_latching)
        return;
    m_down = !m_down;
    if (AccessibleEventsWanted()) {
        QAccessible::State states;
        states.checked = true;
        QAccessibleStateChangeEvent event(this, states);
        QAccessible::updateAccessibility(&event);
    }
    if (onlatch)
        onlatch(this);
}

void TColorButton::Activate() {
    SetPressedLook(true);
    Click();
    ToggleLatch();
    SetPressedLook(false);
}

void TColorButton::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    SetPressedLook(true);
}

void TColorButton::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        const bool over = rect().contains(event->position().toPoint());
        const bool click = m_leftPressed && over;
        m_leftPressed = false;
        // The click comes before the release is handled, so the handler
        // sees the old Down and a latch toggle overrides what it set.
        if (click)
            Click();
    }
    ToggleLatch();
    SetPressedLook(false);
}

// Space, Enter and Return press on key-down and click on key-up, as a mouse
// button does; a held key clicks once.
void TColorButton::keyPressEvent(QKeyEvent *event) {
    if (!m_keyStroke.Press(*event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (m_keyStroke.Armed())
        SetPressedLook(true);
}

void TColorButton::keyReleaseEvent(QKeyEvent *event) {
    if (!KeyStroke::IsActivation(event->key())) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (!m_keyStroke.Release(*event) || !m_pressed)
        return;
    Click();
    ToggleLatch();
    SetPressedLook(false);
}

void TColorButton::focusInEvent(QFocusEvent *event) {
    QWidget::focusInEvent(event);
    m_focusFrame.FocusIn(event->reason());
    update();
}

// A Space held while the focus leaves is no click.
void TColorButton::focusOutEvent(QFocusEvent *event) {
    QWidget::focusOutEvent(event);
    m_focusFrame.FocusOut(event->reason());
    m_keyStroke.Cancel();
    if (m_pressed && !m_leftPressed)
        SetPressedLook(false);
    update();
}

void TColorButton::enterEvent(QEnterEvent *) {
    m_hot = true;
    update();
}

void TColorButton::leaveEvent(QEvent *) {
    m_hot = false;
    update();
}

void TColorButton::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        GrowToFit();
        update();
    }
}

void TColorButton::SetCaption(const QString &value) {
    if (value == m_caption)
        return;
    m_caption = value;
    GrowToFit();
    update();
    if (accessibleName().isEmpty())
        NotifyAccessible(this, QAccessible::NameChanged);
}

void TColorButton::SetFontColor(TColor value) {
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void TColorButton::SetBackBitmap(const QImage &value) {
    m_backBitmap = value;
    update();
}

namespace {
template <typename T> bool StoreIfChanged(T &stored, const T &value) {
    if (stored == value)
        return false;
    stored = value;
    return true;
}
} // namespace

void TColorButton::SetColor(TColor value) {
    if (StoreIfChanged(m_color, value))
        update();
}

void TColorButton::SetMarginHorizontal(int value) {
    if (StoreIfChanged(m_marginHorizontal, value)) {
        GrowToFit();
        update();
    }
}

void TColorButton::SetMarginVertical(int value) {
    if (StoreIfChanged(m_marginVertical, value)) {
        GrowToFit();
        update();
    }
}

void TColorButton::SetAlignment(TAlignment value) {
    if (StoreIfChanged(m_alignment, value))
        update();
}

void TColorButton::SetWordWrap(bool value) {
    if (StoreIfChanged(m_wordWrap, value)) {
        GrowToFit();
        update();
    }
}

void TColorButton::SetFlat(bool value) {
    if (StoreIfChanged(m_flat, value))
        update();
}

void TColorButton::SetDown(bool value) {
    if (!StoreIfChanged(m_down, value))
        return;
    update();
    if (AccessibleEventsWanted()) {
        QAccessible::State states;
        states.checked = m_latching;
        states.pressed = !m_latching;
        QAccessibleStateChangeEvent event(this, states);
        QAccessible::updateAccessibility(&event);
    }
}

void TColorButton::SetHotColor(TColor value) {
    StoreIfChanged(m_hotColor, value);
}
void TColorButton::SetDownColor(TColor value) {
    StoreIfChanged(m_downColor, value);
}
void TColorButton::SetHotFontColor(TColor value) {
    m_hotFontColor = value;
}
void TColorButton::SetDownFontColor(TColor value) {
    m_downFontColor = value;
}
void TColorButton::SetHotTrack(bool value) {
    m_hotTrack = value;
}
void TColorButton::SetLatching(bool value) {
    m_latching = value;
}
