#include "widgets/StdControls.h"

#include <QMouseEvent>
#include <QPainter>

TShape::TShape(QWidget *parent, Kind k) : QWidget(parent), kind(k) {
    setMouseTracking(true);
}

void TShape::SetBrushColor(TColor c) {
    if (c == brush)
        return;
    brush = c;
    update();
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
}

void TShape::mousePressEvent(QMouseEvent *e) {
    if (OnMouseDown)
        OnMouseDown(e->button(), int(e->position().x()), int(e->position().y()));
}

void TShape::mouseMoveEvent(QMouseEvent *e) {
    if (OnMouseMove)
        OnMouseMove(int(e->position().x()), int(e->position().y()));
}

TPanel::TPanel(QWidget *parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
}

void TPanel::SetCaption(const QString &text) {
    if (text == caption)
        return;
    caption = text;
    update();
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
}

void TPanel::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick)
        OnClick();
}

TGroupBox::TGroupBox(const QString &title, QWidget *parent) : QGroupBox(title, parent) {
    setMouseTracking(true);
}

void TGroupBox::mouseMoveEvent(QMouseEvent *e) {
    if (OnMouseMove)
        OnMouseMove(int(e->position().x()), int(e->position().y()));
    QGroupBox::mouseMoveEvent(e);
}

bool TDblClickHook::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonDblClick && OnDblClick) {
        OnDblClick();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
