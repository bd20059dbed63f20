// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/StdControls.h"

#include "widgets/Accessible.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>

namespace {

void NotifyChecked(QWidget *w) {
    if (!AccessibleEventsWanted())
        return;
    QAccessible::State states;
    states.checked = true;
    QAccessibleStateChangeEvent event(w, states);
    QAccessible::updateAccessibility(&event);
}

// A shape with a press handler is a button; one of a choice is a radio
// button whose checked state is the choice. Its name is what the window
// gives (the band).
class AccessibleShape : public QAccessibleWidget {
public:
    explicit AccessibleShape(TShape *shape) : QAccessibleWidget(shape) {}
    TShape *shape() const { return static_cast<TShape *>(widget()); }

    QAccessible::Role role() const override {
        if (shape()->IsChecked)
            return QAccessible::RadioButton;
        return shape()->Pressable() ? QAccessible::Button : QAccessible::Graphic;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (shape()->IsChecked) {
            s.checkable = true;
            s.checked = shape()->IsChecked();
        }
        return s;
    }
    QStringList actionNames() const override {
        if (!shape()->Pressable())
            return QAccessibleWidget::actionNames();
        return QStringList{QAccessibleActionInterface::pressAction()} +
               QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override {
        if (action == QAccessibleActionInterface::pressAction())
            shape()->Press();
        else
            QAccessibleWidget::doAction(action);
    }
};

// A panel with a click handler is a push button named by its caption (a
// toggle one, checked while on, if the window says what on is); one without
// is a text.
class AccessiblePanel : public QAccessibleWidget {
public:
    explicit AccessiblePanel(TPanel *panel) : QAccessibleWidget(panel) {}
    TPanel *panel() const { return static_cast<TPanel *>(widget()); }

    QAccessible::Role role() const override {
        return panel()->OnClick ? QAccessible::PushButton : QAccessible::StaticText;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return panel()->Caption();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (panel()->IsChecked) {
            s.checkable = true;
            s.checked = panel()->IsChecked();
        }
        return s;
    }
    QStringList actionNames() const override {
        if (!panel()->OnClick)
            return QAccessibleWidget::actionNames();
        return QStringList{QAccessibleActionInterface::pressAction()} +
               QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override {
        if (action == QAccessibleActionInterface::pressAction()) {
            if (panel()->isEnabled() && panel()->OnClick)
                panel()->OnClick();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

QAccessibleInterface *ControlsFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("TShape"))
        if (auto *shape = qobject_cast<TShape *>(object))
            return new AccessibleShape(shape);
    if (className == QLatin1String("TPanel"))
        if (auto *panel = qobject_cast<TPanel *>(object))
            return new AccessiblePanel(panel);
    return nullptr;
}

} // namespace

TShape::TShape(QWidget *parent, Kind k) : QWidget(parent), kind(k) {
    InstallAccessibility<ControlsFactory>();
    setMouseTracking(true);
}

void TShape::SetBrushColor(TColor c) {
    if (c == brush)
        return;
    brush = c;
    update();
    if (IsChecked)
        NotifyChecked(this);
}

void TShape::SetPenColor(TColor c) {
    if (c == pen)
        return;
    pen = c;
    update();
}

void TShape::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, kind == Kind::Circle);
    p.setPen(QPen(ToQColor(pen), 1));
    p.setBrush(ToQColor(brush));
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (kind == Kind::Circle)
        p.drawEllipse(r);
    else
        p.drawRect(r);
    if (focusFrame.Shown(hasFocus()))
        FocusFrame::Draw(p, rect(), ToQColor(pen), kind == Kind::Circle);
}

void TShape::mousePressEvent(QMouseEvent *e) {
    if (OnMouseDown)
        OnMouseDown(e->button(), int(e->position().x()), int(e->position().y()));
}

void TShape::Press() {
    if (!isEnabled())
        return;
    if (OnActivate)
        OnActivate();
    else if (OnMouseDown)
        OnMouseDown(Qt::LeftButton, width() / 2, height() / 2);
}

void TShape::keyPressEvent(QKeyEvent *e) {
    if (Pressable() && keyStroke.Press(*e))
        return;
    if (OnKeyDown && OnKeyDown(e->key()))
        return;
    QWidget::keyPressEvent(e);
}

void TShape::keyReleaseEvent(QKeyEvent *e) {
    if (Pressable() && KeyStroke::IsActivation(e->key())) {
        if (keyStroke.Release(*e))
            Press();
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void TShape::focusInEvent(QFocusEvent *e) {
    QWidget::focusInEvent(e);
    focusFrame.FocusIn(e->reason());
    update();
}

void TShape::focusOutEvent(QFocusEvent *e) {
    QWidget::focusOutEvent(e);
    keyStroke.Cancel();
    focusFrame.FocusOut(e->reason());
    update();
}

void TShape::mouseMoveEvent(QMouseEvent *e) {
    if (OnMouseMove)
        OnMouseMove(int(e->position().x()), int(e->position().y()));
}

TPanel::TPanel(QWidget *parent) : QFrame(parent) {
    InstallAccessibility<ControlsFactory>();
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
}

void TPanel::SetCaption(const QString &text) {
    if (text == caption)
        return;
    caption = text;
    update();
    if (accessibleName().isEmpty())
        NotifyAccessible(this, QAccessible::NameChanged);
    if (IsChecked)
        NotifyChecked(this);
}

void TPanel::SetColor(TColor c) {
    if (c == color)
        return;
    color = c;
    update();
}

void TPanel::SetFontColor(TColor c) {
    if (c == fontColor)
        return;
    fontColor = c;
    update();
}

void TPanel::paintEvent(QPaintEvent *e) {
    {
        QPainter p(this);
        p.fillRect(rect(), ToQColor(color));
        p.setPen(ToQColor(isEnabled() ? fontColor : clGrayText));
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, caption);
    }
    QFrame::paintEvent(e);
    if (focusFrame.Shown(hasFocus())) {
        QPainter p(this);
        FocusFrame::Draw(p, rect(), ToQColor(fontColor));
    }
}

void TPanel::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick)
        OnClick();
}

void TPanel::keyPressEvent(QKeyEvent *e) {
    if (OnClick && keyStroke.Press(*e))
        return;
    QFrame::keyPressEvent(e);
}

void TPanel::keyReleaseEvent(QKeyEvent *e) {
    if (OnClick && KeyStroke::IsActivation(e->key())) {
        if (keyStroke.Release(*e) && isEnabled())
            OnClick();
        return;
    }
    QFrame::keyReleaseEvent(e);
}

void TPanel::focusInEvent(QFocusEvent *e) {
    QFrame::focusInEvent(e);
    focusFrame.FocusIn(e->reason());
    update();
}

void TPanel::focusOutEvent(QFocusEvent *e) {
    QFrame::focusOutEvent(e);
    keyStroke.Cancel();
    focusFrame.FocusOut(e->reason());
    update();
}

TGroupBox::TGroupBox(const QString &title, QWidget *parent) : QGroupBox(title, parent) {
    setMouseTracking(true);
}

void TGroupBox::mouseMoveEvent(QMouseEvent *e) {
    if (OnMouseMove)
        OnMouseMove(int(e->position().x()), int(e->position().y()));
    QGroupBox::mouseMoveEvent(e);
}

void TGroupBox::paintEvent(QPaintEvent *e) {
    if (!keepFrame) {
        QGroupBox::paintEvent(e);
        return;
    }
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const FrameKey key{
        size(), title(), option.state.toInt(), palette().cacheKey(), font(), devicePixelRatioF()};
    if (frame.isNull() || !(key == frameKey)) {
        frame = QPixmap(size() * key.pixelRatio);
        frame.setDevicePixelRatio(key.pixelRatio);
        frame.fill(Qt::transparent);
        QPainter framePainter(&frame);
        // As a painter on the box itself would begin.
        framePainter.setFont(font());
        framePainter.setPen(palette().color(foregroundRole()));
        framePainter.setBrush(palette().brush(backgroundRole()));
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &framePainter, this);
        frameKey = key;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, frame);
}

bool TDblClickHook::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonDblClick && OnDblClick) {
        OnDblClick();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
