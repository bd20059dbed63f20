// SPDX-License-Identifier: GPL-3.0-or-later
// Plain controls the windows are laid out with that Qt has no direct
// equivalent for: a filled shape (the band circles), a clickable coloured
// panel with a centred caption (the PTT-block button), a group box that
// keeps its painted frame and reports the mouse moving over its background
// (the band group's hover), and a hook that reports double clicks on the objects it watches.
// A shape with a press handler and a panel with a click handler are buttons
// for the keyboard (when the window makes them focusable: a stroke of Space
// or Enter presses them once, on its release, a dotted frame shows the focus)
// and for screen readers.
#pragma once

#include "widgets/Colors.h"
#include "widgets/FocusFrame.h"
#include "widgets/KeyStroke.h"

#include <QFrame>
#include <QGroupBox>
#include <QPixmap>
#include <QWidget>

#include <functional>

class TShape : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TShape)
public:
    enum class Kind { Circle, Rectangle };
    explicit TShape(QWidget *parent = nullptr, Kind kind = Kind::Circle);

    TColor BrushColor() const { return brush; }
    void SetBrushColor(TColor c);
    TColor PenColor() const { return pen; }
    void SetPenColor(TColor c);

    // Mouse handlers: X, Y relative to the shape.
    std::function<void(Qt::MouseButton, int, int)> OnMouseDown;
    std::function<void(int, int)> OnMouseMove;
    // The press from the keyboard (a stroke of Space or Enter, acted on at
    // its release) or from a screen reader. Without it, those press the
    // shape as a left press in the middle does (OnMouseDown).
    std::function<void()> OnActivate;
    // A key other than Space and Enter pressed while the shape has the
    // focus, auto-repeats included; returns whether it was used.
    std::function<bool(int key)> OnKeyDown;
    // Set for a shape that is one choice of several (a band): whether it is
    // the chosen one. A screen reader reads it as a radio button.
    std::function<bool()> IsChecked;

    // Whether the shape is a button (it has a press handler).
    bool Pressable() const { return OnActivate || OnMouseDown; }
    // The press of Space, Enter and a screen reader (see OnActivate).
    void Press();

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    Kind kind;
    TColor brush = clWhite;
    TColor pen = clBlack;
    FocusFrame focusFrame;
    KeyStroke keyStroke;
};

class TPanel : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TPanel)
public:
    explicit TPanel(QWidget *parent = nullptr);

    QString Caption() const { return caption; }
    void SetCaption(const QString &text);
    TColor Color() const { return color; }
    void SetColor(TColor c);
    TColor FontColor() const { return fontColor; }
    void SetFontColor(TColor c);

    std::function<void()> OnClick;
    // Set for a panel that is a toggle (PTT blocked, tuner in line): whether
    // it is on. A screen reader reads it as a checked button.
    std::function<bool()> IsChecked;

protected:
    void paintEvent(QPaintEvent *) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    QString caption;
    TColor color = clBtnFace;
    TColor fontColor = clBlack;
    FocusFrame focusFrame;
    KeyStroke keyStroke;
};

class TGroupBox : public QGroupBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TGroupBox)
public:
    explicit TGroupBox(const QString &title, QWidget *parent = nullptr);

    // The mouse moved over the box itself (not over an enabled child that
    // takes the move): X, Y relative to the box.
    std::function<void(int, int)> OnMouseMove;

    // Every change of a transparent control inside the box repaints the box
    // beneath it, and the style lays out the title and looks up its frame
    // image each time. A box whose contents change often keeps its painted
    // frame (its size in memory) and draws it again until what it shows
    // changes.
    void KeepFrame() { keepFrame = true; }

protected:
    void mouseMoveEvent(QMouseEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    struct FrameKey {
        QSize size;
        QString title;
        uint state = 0;
        qint64 palette = 0;
        QFont font;
        qreal pixelRatio = 0;
        bool operator==(const FrameKey &o) const {
            return size == o.size && title == o.title && state == o.state && palette == o.palette &&
                   font == o.font && pixelRatio == o.pixelRatio;
        }
    };
    bool keepFrame = false;
    FrameKey frameKey;
    QPixmap frame;
};

// Reports a double click on any watched object (a combo box, its drop-down
// list and the list's viewport) and takes the click.
class TDblClickHook : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDblClickHook)
public:
    explicit TDblClickHook(QObject *parent = nullptr) : QObject(parent) {}
    void Watch(QObject *object) { object->installEventFilter(this); }

    std::function<void()> OnDblClick;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
