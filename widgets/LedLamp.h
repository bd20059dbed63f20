// SPDX-License-Identifier: GPL-3.0-or-later
// TLedLamp: a small indicator lamp that shows a lit or an unlit picture and
// can blink while lit. The pictures are recoloured copies of template bitmaps,
// drawn at the screen's device pixel ratio. A screen reader reads the lamp by
// its accessible name, with whether it is lit, its colour and what the
// window says that colour means.
#pragma once

#include "widgets/Colors.h"
#include "widgets/NotifyEvent.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>

class QTimer;

enum TLEDStyle { LEDSmall, LEDLarge, LEDSqSmall, LEDSqLarge, LEDVertical, LEDHorizontal };

// The template bitmap of the given name ("BSM", "NLG" ...); a null image for
// an unknown name. Drawn once, on first use, in black, white, grey, silver and lime.
QImage LedTemplate(const QString &name);
// The same template drawn for a screen of device pixel `ratio`: ratio times
// as many pixels each way, with that device pixel ratio set.
QImage LedTemplate(const QString &name, qreal ratio);

// Replaces the 4-connected area of colour `target` that contains (x, y) with
// `fill`. Nothing happens when (x, y) is outside or not of colour `target`.
void FloodFillSurface(QImage &image, int x, int y, QRgb target, QRgb fill);

class TLedLamp : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLedLamp)
    Q_PROPERTY(TColor TrueColor READ TrueColor WRITE SetTrueColor)
    Q_PROPERTY(TColor FalseColor READ FalseColor WRITE SetFalseColor)
    Q_PROPERTY(TColor BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(bool Blink READ Blink WRITE SetBlink)
    Q_PROPERTY(bool Bordered READ Bordered WRITE SetBordered)
    Q_PROPERTY(bool Value READ Value WRITE SetValue)
    Q_PROPERTY(int Interval READ Interval WRITE SetInterval)
    Q_PROPERTY(TLEDStyle LEDStyle READ LEDStyle WRITE SetLEDStyle)

public:
    explicit TLedLamp(QWidget *parent = nullptr);
    ~TLedLamp() override;

    TColor TrueColor() const { return m_trueColor; }
    TColor FalseColor() const { return m_falseColor; }
    TColor BorderColor() const { return m_borderColor; }
    bool Blink() const { return m_blink; }
    bool Bordered() const { return m_bordered; }
    bool Value() const { return m_value; }
    int Interval() const { return m_interval; }
    TLEDStyle LEDStyle() const { return m_style; }

    void SetTrueColor(TColor value);
    void SetFalseColor(TColor value);
    void SetBorderColor(TColor value);
    void SetBlink(bool value);
    void SetBordered(bool value);
    void SetValue(bool value);
    void SetInterval(int value);
    void SetLEDStyle(TLEDStyle value);

    // What the lamp showing `color` means, for a screen reader ("transmitting").
    void SetColorMeaning(TColor color, const QString &meaning);
    // "lit, red: transmitting": lit or unlit, the colour on show, what the
    // window says it means, then the widget's accessible description if any.
    QString StateDescription() const;

    // The blink timer's handler: flips the picture on show and fires OnTimer.
    void BlinkStep();

    // The blink timer while the lamp blinks, else nullptr.
    QTimer *BlinkTimer() const { return m_blinking ? m_timer : nullptr; }
    // Which picture is on show: 0 = lit, 1 = unlit.
    int PictureIndex() const { return m_selector; }
    const QImage &LitPicture() const { return m_lit; }
    const QImage &UnlitPicture() const { return m_unlit; }

    TNotifyEvent OnTimer;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void BuildPictures();
    void MakePictures(qreal ratio);
    void DrawPicture(int selector);
    void StartBlinking();
    void StopBlinking();
    void ColorChanged(TColor &stored, TColor value);

    TColor m_trueColor = clLime;
    TColor m_falseColor = clSilver;
    TColor m_borderColor = clBtnFace;
    bool m_blink = true;
    bool m_bordered = true;
    bool m_value = false;
    int m_interval = 1000;
    TLEDStyle m_style = LEDSmall;

    QImage m_lit;
    QImage m_unlit;
    int m_selector = 1;
    // A paint has been asked for and has not come yet; asking again adds nothing.
    bool m_paintRequested = false;
    // Made on the first blink and kept: a traffic lamp starts and stops
    // blinking with every other line, ten times a second.
    QTimer *m_timer = nullptr;
    bool m_blinking = false;
    bool m_clickArmed = false;
    QHash<TColor, QString> m_meanings;
};
