// SPDX-License-Identifier: GPL-3.0-or-later
// TBarMeter: a bar-graph meter showing Position between Min and Max as a
// bar growing in one of four directions, in one colour, a two- or
// three-colour gradient or a tiled bitmap. Every paint is composed off-screen;
// paints are scheduled, and a paint after only Position changes reuses the
// cached bar picture instead of rebuilding it and covers only the part of
// the bar that changed (nothing, when the filled length stays). The pictures are composed at
// the screen's device pixel ratio. A screen reader reads the meter as a level
// bar whose value is Position times ValueScale, in ValueUnit; a window may
// make it focusable, handle keys through OnKeyDown and mark a place on the
// bar that the keyboard chose (Selection), which a stroke of Enter or Space
// hands to OnActivate.
#pragma once

#include "widgets/Colors.h"
#include "widgets/FocusFrame.h"
#include "widgets/KeyStroke.h"
#include "widgets/NotifyEvent.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

enum TBarColorStyle { cs1Color, cs2Colors, cs3Colors };
enum TProgressDirection { pdLeftToRight, pdRightToLeft, pdBottomToTop, pdTopToBottom };

// Colour step `index` of `count` from `from` to `to`: each channel is
// from + (index - 1) * (to - from) / (count - 1), rounded half away from zero.
// A one-step range gives `from`. Throws std::out_of_range for an index
// outside 1..count.
TColor GradientStep(TColor from, TColor to, int index, int count);

// Length filled for `position` over `length` pixels: round to nearest, ties
// to even; 0 when position <= min or max == min.
int BarFilledLength(int position, int min, int max, int length);

// The number shown by the position text, or an empty text for a percentage
// of a zero Max.
QString BarPositionNumber(int position, int max, bool percentage);

using TMouseEvent = std::function<void(QObject *Sender, Qt::MouseButton Button,
                                       Qt::KeyboardModifiers Shift, int X, int Y)>;
using TMouseMoveEvent =
    std::function<void(QObject *Sender, Qt::KeyboardModifiers Shift, int X, int Y)>;
// A key pressed while the control has the focus (Enter and Space only
// without an OnActivate), auto-repeats included; returns whether it was used.
using TKeyEvent = std::function<bool(QObject *Sender, int Key, Qt::KeyboardModifiers Shift)>;

class TBarMeter : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBarMeter)
    Q_PROPERTY(TColor BackgroundColor READ BackgroundColor WRITE SetBackgroundColor)
    Q_PROPERTY(QImage BarBitmap READ BarBitmap WRITE SetBarBitmap)
    Q_PROPERTY(TColor BarColor1 READ BarColor1 WRITE SetBarColor1)
    Q_PROPERTY(TColor BarColor2 READ BarColor2 WRITE SetBarColor2)
    Q_PROPERTY(TColor BarColor3 READ BarColor3 WRITE SetBarColor3)
    Q_PROPERTY(TBarColorStyle BarColorStyle READ BarColorStyle WRITE SetBarColorStyle)
    Q_PROPERTY(TColor BorderColor1 READ BorderColor1 WRITE SetBorderColor1)
    Q_PROPERTY(TColor BorderColor2 READ BorderColor2 WRITE SetBorderColor2)
    Q_PROPERTY(TProgressDirection Direction READ Direction WRITE SetDirection)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(bool Percentage READ Percentage WRITE SetPercentage)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(QString PosTextPrefix READ PosTextPrefix WRITE SetPosTextPrefix)
    Q_PROPERTY(QString PosTextSuffix READ PosTextSuffix WRITE SetPosTextSuffix)
    Q_PROPERTY(bool ShowBorder READ ShowBorder WRITE SetShowBorder)
    Q_PROPERTY(bool ShowPosText READ ShowPosText WRITE SetShowPosText)
    Q_PROPERTY(int Selection READ Selection WRITE SetSelection)

public:
    explicit TBarMeter(QWidget *parent = nullptr);
    ~TBarMeter() override;

    TColor BackgroundColor() const { return m_backgroundColor; }
    const QImage &BarBitmap() const { return m_barBitmap; }
    TColor BarColor1() const { return m_barColor1; }
    TColor BarColor2() const { return m_barColor2; }
    TColor BarColor3() const { return m_barColor3; }
    TBarColorStyle BarColorStyle() const { return m_barColorStyle; }
    TColor BorderColor1() const { return m_borderColor1; }
    TColor BorderColor2() const { return m_borderColor2; }
    TProgressDirection Direction() const { return m_direction; }
    int Max() const { return m_max; }
    int Min() const { return m_min; }
    bool Percentage() const { return m_percentage; }
    int Position() const { return m_position; }
    QString PosTextPrefix() const { return m_posTextPrefix; }
    QString PosTextSuffix() const { return m_posTextSuffix; }
    bool ShowBorder() const { return m_showBorder; }
    bool ShowPosText() const { return m_showPosText; }

    void SetBackgroundColor(TColor value);
    void SetBarBitmap(const QImage &value);
    void SetBarColor1(TColor value);
    void SetBarColor2(TColor value);
    void SetBarColor3(TColor value);
    void SetBarColorStyle(TBarColorStyle value);
    void SetBorderColor1(TColor value);
    void SetBorderColor2(TColor value);
    void SetDirection(TProgressDirection value);
    void SetMax(int value);
    void SetMin(int value);
    void SetPercentage(bool value);
    void SetPosition(int value);
    void SetPosTextPrefix(const QString &value);
    void SetPosTextSuffix(const QString &value);
    void SetShowBorder(bool value);
    void SetShowPosText(bool value);

    // The text shown over the bar: PosTextPrefix, the position's number,
    // PosTextSuffix.
    QString PositionText() const;

    // The reading a screen reader is given: value = position * ValueScale,
    // in ValueUnit ("watts"); the text is the value and the unit.
    double ValueScale() const { return m_valueScale; }
    void SetValueScale(double value);
    QString ValueUnit() const { return m_valueUnit; }
    void SetValueUnit(const QString &value) { m_valueUnit = value; }
    double ScaledValue(int position) const { return position * m_valueScale; }
    QString ValueText() const;

    // A place on the bar the keyboard chose: X in the meter's pixels, or -1
    // for none. Marked with a line across the bar while the meter has the
    // focus, over the picture and never in it; dropped when the focus goes
    // to another control of the window.
    int Selection() const { return m_selection; }
    void SetSelection(int x);

    // The picture the last paint composed, and the cached full-length bar.
    const QImage &OffscreenPicture() const { return m_offscreen; }
    const QImage &BarPicture() const { return m_barCache; }
    // How many times the cached bar picture has been rebuilt.
    int BarPictureBuilds() const { return m_barBuilds; }
    // Composes the off-screen picture as a paint would; `rebuild` false reuses
    // the cached bar picture.
    void Compose(bool rebuild);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TKeyEvent OnKeyDown;
    // A stroke of Enter, Return or Space, acted on once at its release.
    TNotifyEvent OnActivate;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QSize DeviceSize() const;
    void SchedulePaint(bool rebuild);
    // The filled part of the bar at position, in the meter's pixels.
    QRect FilledRect(int position) const;
    void DrawBar(bool rebuild);
    void BuildGradient();
    void DrawBorder();
    void DrawPosText();

    TColor m_backgroundColor = clBtnFace;
    QImage m_barBitmap;
    TColor m_barColor1 = clGreen;
    TColor m_barColor2 = clYellow;
    TColor m_barColor3 = clRed;
    TBarColorStyle m_barColorStyle = cs3Colors;
    TColor m_borderColor1 = clBtnShadow;
    TColor m_borderColor2 = clBtnHighlight;
    TProgressDirection m_direction = pdLeftToRight;
    int m_max = 100;
    int m_min = 0;
    bool m_percentage = false;
    int m_position = 0;
    QString m_posTextPrefix;
    QString m_posTextSuffix;
    bool m_showBorder = true;
    bool m_showPosText = true;
    double m_valueScale = 1.0;
    QString m_valueUnit;

    QImage m_offscreen;
    QImage m_barCache;
    bool m_rebuild = true;
    // A paint has been asked for and has not come yet; asking again adds nothing.
    bool m_paintRequested = false;
    int m_barBuilds = 0;
    bool m_leftPressed = false;
    int m_selection = -1;
    FocusFrame m_focusFrame;
    KeyStroke m_keyStroke;
};
