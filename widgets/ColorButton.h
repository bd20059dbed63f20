// SPDX-License-Identifier: GPL-3.0-or-later
// TColorButton: a push button drawn in solid colours, with hot and down
// looks, an optional tiled background bitmap and an optional latching mode in
// which every click toggles a persistent down state. It takes the focus from
// the keyboard (Tab), shows it with a dotted frame, and a stroke of Space or
// Enter clicks it once: pressed on the key's press, clicked on its release.
#pragma once

#include "widgets/Colors.h"
#include "widgets/FocusFrame.h"
#include "widgets/KeyStroke.h"
#include "widgets/NotifyEvent.h"

#include <QImage>
#include <QString>
#include <QWidget>

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TColorButton : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TColorButton)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(QImage BackBitmap READ BackBitmap WRITE SetBackBitmap)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool Latching READ Latching WRITE SetLatching)
    Q_PROPERTY(bool Down READ Down WRITE SetDown)
    Q_PROPERTY(bool Flat READ Flat WRITE SetFlat)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(int MarginHorizontal READ MarginHorizontal WRITE SetMarginHorizontal)
    Q_PROPERTY(int MarginVertical READ MarginVertical WRITE SetMarginVertical)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool HotTrack READ HotTrack WRITE SetHotTrack)
    Q_PROPERTY(TColor HotColor READ HotColor WRITE SetHotColor)
    Q_PROPERTY(TColor DownColor READ DownColor WRITE SetDownColor)
    Q_PROPERTY(TColor HotFontColor READ HotFontColor WRITE SetHotFontColor)
    Q_PROPERTY(TColor DownFontColor READ DownFontColor WRITE SetDownFontColor)

public:
    explicit TColorButton(QWidget *parent = nullptr);
    ~TColorButton() override;

    TAlignment Alignment() const { return m_alignment; }
    const QImage &BackBitmap() const { return m_backBitmap; }
    QString Caption() const { return m_caption; }
    bool WordWrap() const { return m_wordWrap; }
    bool Latching() const { return m_latching; }
    bool Down() const { return m_down; }
    bool Flat() const { return m_flat; }
    // The caption font's colour: the normal text colour.
    TColor FontColor() const { return m_fontColor; }
    int MarginHorizontal() const { return m_marginHorizontal; }
    int MarginVertical() const { return m_marginVertical; }
    TColor Color() const { return m_color; }
    bool HotTrack() const { return m_hotTrack; }
    TColor HotColor() const { return m_hotColor; }
    TColor DownColor() const { return m_downColor; }
    TColor HotFontColor() const { return m_hotFontColor; }
    TColor DownFontColor() const { return m_downFontColor; }

    void SetAlignment(TAlignment value);
    void SetBackBitmap(const QImage &value);
    void SetCaption(const QString &value);
    void SetWordWrap(bool value);
    void SetLatching(bool value);
    void SetDown(bool value);
    void SetFlat(bool value);
    void SetFontColor(TColor value);
    void SetMarginHorizontal(int value);
    void SetMarginVertical(int value);
    void SetColor(TColor value);
    void SetHotTrack(bool value);
    void SetHotColor(TColor value);
    void SetDownColor(TColor value);
    void SetHotFontColor(TColor value);
    void SetDownFontColor(TColor value);

    // Fires onclick, but only while a mouse button is held on the button.
    void Click();
    // A whole click from the keyboard or a screen reader: pressed, onclick,
    // the latch toggle, released, in the order a mouse click takes.
    void Activate();

    bool Pressed() const { return m_pressed; }
    bool Hot() const { return m_hot; }

    // Runs when the left button is released over the button, before a
    // latching button toggles Down.
    TNotifyEvent onclick;
    // Runs after a latching button toggled Down, so that its owner can set
    // the look its own state calls for, whatever the click's handler did.
    TNotifyEvent onlatch;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void SetPressedLook(bool pressed);
    void ToggleLatch();
    void GrowToFit();
    QRect TextRect() const;
    int TextFlags() const;

    TAlignment m_alignment = taCenter;
    QImage m_backBitmap;
    QString m_caption;
    bool m_wordWrap = false;
    bool m_latching = false;
    bool m_down = false;
    bool m_flat = true;
    TColor m_fontColor = clWindowText;
    int m_marginHorizontal = 8;
    int m_marginVertical = 4;
    TColor m_color = clSilver;
    bool m_hotTrack = true;
    TColor m_hotColor = clYellow;
    TColor m_downColor = RGBColor(169, 169, 169);
    TColor m_hotFontColor = clRed;
    TColor m_downFontColor = clBlack;

    bool m_pressed = false;
    bool m_hot = false;
    bool m_leftPressed = false;
    FocusFrame m_focusFrame;
    KeyStroke m_keyStroke;
};
