// SPDX-License-Identifier: GPL-3.0-or-later
// The ATU panel (layout name Fatu1): shows and drives the antenna tuner
// through the amplifier. A view of the link: its controls call the link's
// tuner commands, and it draws the tuner's part of the link's state.
#pragma once

#include "link/ReplyDispatcher.h"

#include <QImage>
#include <QMainWindow>

#include <array>

class AmpLink;
class QAction;
class QLabel;
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

class AtuPanel : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AtuPanel)
public:
    explicit AtuPanel(AmpLink &link, QWidget *parent = nullptr);
    AmpLink &Link;

    // Shows the tuner's service readouts (the forward reading) until the
    // program ends.
    void RevealServiceReadings();

private:
    void CreateControls();
    void CreateMenu();
    void ShowStartState();
    void DrawState(const AmpStatus &state, unsigned changed);
    // Keeps the values the panel shows as the reports gave them.
    void NoteReport(ReportId row, const QString &value);
    void ShowLinkEvent(const LinkEvent &event);

    TPanel *inOutButton = nullptr;              // Panel1: "Bypass", "ATU On", "BYPASS"
    TColorButton *tuneButton = nullptr;         // tune1
    TLedLamp *statusLamp = nullptr;             // Led
    QLabel *swrReadout = nullptr;               // Label3, after "SWR:" (Label5)
    QLabel *inductanceReadout = nullptr;        // Label4, after "L:" (Label1)
    QLabel *capacitanceReadout = nullptr;       // Label8, after "C:" (Label2)
    QLabel *forwardCaption = nullptr;           // Label6 "FWD:", shown on request
    QLabel *forwardReadout = nullptr;           // Label7
    QLabel *capacitorAtInputDiagram = nullptr;  // Image0: C at the input side, then series L
    QLabel *capacitorAtOutputDiagram = nullptr; // Image1: series L, then C at the output side
    TPanel *statusPanel = nullptr;              // Panel2: the tuner's status message
    QAction *fineTuningAction = nullptr;        // FineTuning1
    std::array<QAction *, 7> swrMinItems{};     // SWR11 .. SWR17

    // What the panel shows of the reports beyond the link's readings.
    struct Shown {
        QString swr;     // the tuner's SWR text ("1.5", "???"); empty: none reported
        QString forward; // the five characters of "ATU_FWD: " as received
    } shown;
};
