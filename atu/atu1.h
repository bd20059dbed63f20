// The ATU panel: shows and drives the antenna tuner through the amplifier.
// A view of the link: its handlers call the link's tuner commands, and it
// draws the tuner's part of the link's state.
#pragma once

#include "link/AmpState.h"

#include <QImage>
#include <QMainWindow>

#include <array>

struct LinkEffect;
class AmpLink;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class TColorButton;
class TLedLamp;
class TPanel;

// One drawing of the tuner's L network, 171 x 96 pixels on white: input
// terminal on the left, output terminal on the right, the series coil L on
// the top line and the capacitor C to ground at the input side
// (capacitorAtInput) or at the output side. Dark red lines, green junction
// dots, blue letters. Drawn for a screen of device pixel `ratio`: that many
// times the pixels each way, with the ratio set on the image.
QImage DrawLNetwork(bool capacitorAtInput, qreal ratio = 1.0);
constexpr int LNetworkWidth = 171;
constexpr int LNetworkHeight = 96;

class TFatu1 : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFatu1)
public:
    explicit TFatu1(AmpLink &link, QWidget *parent = nullptr);
    AmpLink &Link;

    void FormCreate();
    void Panel1Click();
    void tune1click();
    void FineTuning1Click();
    void MemoryClear1Click();
    void SWRClick(int nn); // SWR11Click .. SWR17Click, nn = 11..17
    void Timer1Timer();

    TPanel *Panel1 = nullptr; // in/out button; caption "ATU On" = in line
    TColorButton *tune1 = nullptr;
    TLedLamp *Led = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr,
           *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr;
    QLabel *Image0 = nullptr; // C at the input side, then series L
    QLabel *Image1 = nullptr; // series L, then C at the output side
    TPanel *Panel2 = nullptr; // status message panel
    QTimer *Timer1 = nullptr; // the link's re-send of an unconfirmed switch command
    QMenu *Setup1 = nullptr;
    QAction *SWRmin1 = nullptr, *MemoryClear1 = nullptr, *FineTuning1 = nullptr;
    std::array<QAction *, 7> SWR{}; // SWR11 .. SWR17

private:
    void ShowLinkEffect(const LinkEffect &effect);
    void CreateControls();
    void CreateMenu();
    void StateChanged(const AmpState &state, unsigned changed);
};
