// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the operator's panel for the amplifier, a view of the
// amplifier link. It draws the link's state (MainWindowView.cpp) into the
// controls laid out in MainWindowLayout.cpp; the operator's commands
// (OperatorCommands, created by the window set) hook the controls' events
// and call the link and this window's public members. This file: start-up
// and the connection (the port list, Open Port and Close Port, network
// ports, reconnection).
//
// Each widget keeps the layout name it has always had as its objectName
// ("openport", "Label13", "Band1" ...); docs/architecture.md maps them to the
// members of MainWindowControls.
#pragma once

#include "config/Settings.h"
#include "link/AmpLink.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class QAction;
class QComboBox;
class QFont;
class QGroupBox;
class QLabel;
class QMenu;
class TAnnouncer;
class TBarMeter;
class TColorButton;
class TGroupBox;
class TLedLamp;
class TPanel;
class TShape;

// The main window's controls, laid out by the window (MainWindowLayout.cpp);
// the operator's commands hook their events through MainWindow::Controls.
struct MainWindowControls {
    // "Power" (GroupBox3)
    TGroupBox *powerBox = nullptr;
    TBarMeter *outputMeter = nullptr;      // output
    TBarMeter *reverseMeter = nullptr;     // swr
    std::array<QLabel *, 6> scaleLabels{}; // Label15 .. Label20: "0W" .. "1.2kW"
    QLabel *outputLevelMark = nullptr;     // ALC1
    QLabel *peakMark = nullptr;            // P_max1
    QLabel *outputReadout = nullptr;       // P_out
    QLabel *peakReadout = nullptr;         // P_max_label
    TLedLamp *transmitLamp = nullptr;      // tx_led
    TPanel *pttBlockButton = nullptr;      // Panel1
    TAnnouncer *announcer = nullptr;
    // "COM Port" (GroupBox2)
    QComboBox *portList = nullptr;           // ComboBox1
    QMenu *portListMenu = nullptr;           // PopupMenu1
    QAction *refreshAction = nullptr;        // Refresh1
    TColorButton *openPortButton = nullptr;  // openport
    TColorButton *closePortButton = nullptr; // closeport
    TLedLamp *rxdLamp = nullptr;             // rxLED
    TLedLamp *txdLamp = nullptr;             // txled
    // Band (GroupBox1)
    TGroupBox *bandBox = nullptr;
    std::array<TShape *, 7> bandCircles{}; // Band1 .. Band7
    std::array<QLabel *, 10> bandLabels{}; // Label1 .. Label10
    // "Temperature" (Temp1)
    QGroupBox *temperatureBox = nullptr;
    QLabel *temperatureReadout = nullptr; // Temp2
    QLabel *degreeSign = nullptr;         // Label25
    // Menus: File
    QAction *portMonitorAction = nullptr;   // PortMonitor1
    QAction *atuPanelAction = nullptr;      // ATUPanel1
    QAction *historyAction = nullptr;       // History1
    QAction *networkPortAction = nullptr;   // NetworkPort1
    QAction *autoReconnectAction = nullptr; // AutoReconnect1
    QAction *pa12kWAction = nullptr;        // N12kW1
    QAction *pa24kWAction = nullptr;        // N24kW1
    QAction *exitAction = nullptr;          // Exit1
    // The settings menus' items, item n at [n - 1] as the amplifier numbers
    // them (the interface items in the amplifier's order, not the menu's).
    std::array<QAction *, 4> fanItems{};        // N501, Max1, Hysteresis1, Fixed1
    std::array<QAction *, 7> interfaceItems{};  // YAESUBCD1 .. Flex1, Manual1 fifth
    std::array<QAction *, 3> alarmSoundItems{}; // CWbybuzzer1, Buzzer1, Nosound1
    std::array<QAction *, 2> inputPowerItems{}; // N4W1, N60W1
    std::array<QAction *, 4> barSpeedItems{};   // Veryslow1 .. Veryfast1
    std::array<QAction *, 4> totItems{};        // Off1, N5min1, N15min1, N30min1
    QAction *aboutAction = nullptr;             // About1
};

struct StatusView;

class MainWindow : public QMainWindow, private MainWindowControls {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)
public:
    MainWindow(AmpLink &link, const Settings &settings, QWidget *parent = nullptr);
    ~MainWindow() override;

    AmpLink &Link;

    // Open Port: opens the selected port; with none selected, or when it
    // will not open, a message says why and the window stays closed.
    void OpenSelectedPort();
    // The port name of the selected entry (the list shows labels); empty
    // when none is selected.
    QString SelectedPort() const;
    // Adds the network port in text to the list, selects it and remembers it
    // in the user's settings file; a malformed one gets a message and
    // changes nothing. True when added.
    bool AddNetworkPort(const QString &text);
    // Tells a screen reader a short message (transmitting, an alarm ...).
    void Announce(const QString &message);
    // Flips the TxD lamp for a sent line, else the RxD lamp.
    void FlipTrafficLamp(bool sent);
    // The MQTT broker's state for the title ("MQTT: connected"); empty: none.
    void SetBrokerStatus(const QString &status);

    // The controls, for the operator's commands to hook their events.
    const MainWindowControls &Controls() const { return *this; }
    // Fills the port list anew from the system's ports (and the one named
    // that the system does not list), selecting the first or none.
    void RefillPortList(bool selectFirst);
    // File, "Network port...": asks for tcp://HOST:PORT and adds it.
    void AskForNetworkPort();
    // "Reconnect automatically": sets the link's reconnection and saves it.
    void SetAutoReconnect(bool on);
    // A level at x on the output bar's full-level scale (0..333) from a
    // source: the mark goes there and the level is sent, unless the
    // amplifier is not calibrated (a message says so). True when it went out.
    bool PressOutputLevel(int x, const CommandSource &source);
    // Where the output level mark points on the bar's full-level scale;
    // none while it stands where laid out.
    std::optional<int> OutputLevelMark() const { return shown.levelMark; }
    // The mouse over band n's circle (not the chosen one): yellow until it
    // reaches the band group's background.
    void HighlightBand(int n);
    void ClearBandHighlight();

    // The text of the About box.
    static QString AboutText();
    // What Open Port says when the list has no port at all.
    static QString NoPortText();
    // Fills the port list with these ports, entry index chosen (-1: none),
    // by their labels (a by-id link with its adapter's product), each entry
    // holding the name that Open Port opens; an empty list shows that no
    // port was found.
    void FillPortList(const QStringList &ports, int index);

Q_SIGNALS:
    // File, "Port Monitor", "ATU Panel" and "History": the window set shows
    // them.
    void PortMonitorAsked();
    void AtuPanelAsked();
    void HistoryAsked();

private:
    // ---- Start-up and the connection (MainWindow.cpp) -------------------
    void ShowStartState();
    void FailOpen(const QString &message, const QString &title);
    // The system's ports, and the one the settings or the operator named
    // that the system does not list.
    QStringList ListPorts() const;

    // ---- The layout (MainWindowLayout.cpp) ------------------------------
    void CreateControls();
    QWidget *CreateClientArea();
    // One group box each, and the parts of the "Power" box, in the order
    // of creation (the accessibility tree follows it).
    void CreatePowerBox(QWidget *client);
    void CreateOutputMeter();
    void CreatePowerScale();
    void CreateReverseMeter();
    void CreatePowerReadouts(const QFont &font);
    void CreatePttBlockButton(const QFont &font);
    void CreatePortBox(QWidget *client);
    void CreateBandBox(QWidget *client);
    void CreateTemperatureBox(QWidget *client);
    void ChainTabOrder();
    void CreateMenus();

    // ---- Drawing the link's state (MainWindowView.cpp) ------------------
    void DrawState(const AmpStatus &state, unsigned changed);
    // Keeps what the window shows of a report beyond the link's readings.
    void NoteReport(ReportId row, const QString &value);
    void DrawOutputLevelMark();
    void DrawConnection(const AmpStatus &state);
    // The title: the connection, and the broker's state when there is one.
    void DrawTitle(const AmpStatus &state);
    static QString RadioTitle(const RigStatus &rig);
    // Open Port pressed in or not as the connection is, set again after each
    // click's latch toggle, whatever box the click's handler showed.
    void OpenPortFollowsState();
    void DrawReadingsCurrent(const AmpStatus &state, const StatusView &view);
    void DrawBand(const StatusView &view);
    std::optional<int> BandShown(const StatusView &view) const;
    void DrawInterface(const AmpStatus &state);
    void DrawSettings(const AmpStatus &state);
    // The readouts, bars and marks of the "Power" box.
    void DrawPower(const AmpStatus &state, unsigned changed);
    void ShowLinkEvent(const LinkEvent &event);
    // The band circles and their captions usable or greyed.
    void SetBandsEnabled(bool enabled);

    const Settings &settings;
    // A device the settings or the operator named that the system does not
    // list (a pseudo-terminal, a link) or a network port; it stays in the
    // list across refreshes.
    QString extraPort;
    QString brokerStatus; // for the title; empty without a broker
    // What the window shows of the reports that the link's readings do not
    // hold: the values as received ("850" of "O: 850", "8k" too), and the
    // output level mark.
    struct Shown {
        std::optional<QString> output;      // "O: "; none after "TX: OFF"
        std::optional<QString> peak;        // "P_max: "; none after "TX: OFF"
        std::optional<QString> temperature; // "T: "
        // The output level mark, shown once a calibration other than 255 is
        // reported, pointing at X on the bar's full-level scale (0..333 is
        // 0..100 % of the calibration): the operator's press, or ALC * 333 /
        // CAL from the reports. None: where laid out.
        bool levelMarkShown = false;
        std::optional<int> levelMark;
    } shown;
};
