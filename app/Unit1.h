// The main window: the operator's panel for the amplifier. A view of the
// amplifier link: its handlers call the link, and it draws the link's state
// (connection, power, band, settings) into its controls.
#pragma once

#include "app/Windows.h"
#include "config/Settings.h"
#include "link/AmpLink.h"
#include "serial/SerialPort.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <array>

class QAction;
class QActionGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QTimer;
class TAnnouncer;
class TBarMeter;
class TColorButton;
class TLedLamp;
class TPanel;
class TShape;

class TForm1 : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)
public:
    TForm1(TWindows &windows, const Settings &settings, QWidget *parent = nullptr);
    ~TForm1() override;

    TWindows &Windows;
    AmpLink &Link;
    TSerialPort *SerialPort = nullptr; // the link's port

    bool IsConnected() const { return Link.State().IsConnected(); }
    bool IsConnecting() const { return Link.State().IsConnecting(); }

    // ---- Start-up and the connection (Unit1.cpp) --------------------------
    void FormCreate();
    void FormActivate() {}
    void openportclick();
    void closeportclick();
    void Timer1Timer();
    void SerialPortDisconnect(TSerialPort *Sender, TCommPort Port);
    void Refresh1Click();
    void ComboBox1DblClick();
    // A device named in the configuration that the system does not list (a
    // pseudo-terminal, a link) or a network port; it stays in the list
    // across refreshes.
    QString ExtraPort;
    QStringList ListPorts() const;
    // The port name of the selected entry (the list shows labels); empty
    // when none is selected.
    QString SelectedPort() const;
    // File, "Network port...": asks for tcp://HOST:PORT and adds it.
    void NetworkPort1Click();
    // Adds the network port in text to the list, selects it and remembers it
    // in the user's configuration file; a malformed one gets a message and
    // changes nothing. True when added.
    bool AddNetworkPort(const QString &text);

    // ---- The link's events (Unit1Dispatch.cpp) ----------------------------
    // A received chunk: the link frames, logs and interprets it.
    void SerialPortReceive(TSerialPort *Sender, const QByteArray &Buffer);
    // Draws what changed in the link's state.
    void StateChanged(const AmpState &state, unsigned changed);
    // Shows a message box the link asks for.
    void ShowLinkEffect(const LinkEffect &effect);
    // Flips the RxD or TxD lamp for an entry shown in the port monitor.
    void TrafficLogged(bool sent);

    // ---- Poll cycle ---------------------------------------------------------
    void Timer2Timer();

    // ---- Operator controls (Unit1Controls.cpp) ---------------------------
    void BandMouseDown(int n);
    void BandMouseMove(int n);
    void GroupBox1MouseMove();
    void clear_all_bands();
    void enable_all_bands();
    void unenable_all_bands();
    // Setting commands: each checks its item, sends its line, echoes it.
    void N501Click();
    void Max1Click();
    void Hysteresis1Click();
    void Fixed1Click();
    void YAESUBCD1Click();
    void YAESUFT8171Click();
    void ICOM1Click();
    void Kenwood1Click();
    void OTRSP1Click();
    void Flex1Click();
    void Manual1Click();
    void CWbybuzzer1Click();
    void Buzzer1Click();
    void Nosound1Click();
    void Veryslow1Click();
    void Slow1Click();
    void Fast1Click();
    void Veryfast1Click();
    void Off1Click();
    void N5min1Click();
    void N15min1Click();
    void N30min1Click();
    QAction *InterfaceItem(int n) const;
    void N12kW1Click();
    void N24kW1Click();
    void Panel1Click();
    void outputMouseDown(int X);
    // Keyboard on the band circles: the arrow keys choose the next enabled
    // band that way round, as a press on its circle does.
    bool BandKeyDown(int n, int key);
    // Keyboard on the output bar: the arrow keys step the ALC level by 5 %
    // of the full level, Page Up and Down by 25 %, Home and End go to the
    // ends; each step is a press at the matching X (full level at X 333).
    bool outputKeyDown(int key);
    void PortMonitor1Click();
    void ATUPanel1Click();
    void Exit1Click();
    // "Reconnect automatically": sets the link's reconnection and saves it
    // in the user's INI file.
    void AutoReconnect1Click();
    void About1Click();
    // The text of the About box.
    static QString AboutText();

    // ---- Controls ----------------------------------------------------------
    // "Power"
    QGroupBox *GroupBox3 = nullptr;
    TBarMeter *output = nullptr;
    TBarMeter *swr = nullptr;
    QLabel *Label13 = nullptr;             // "Output"
    QLabel *Label14 = nullptr;             // "Reverse"
    std::array<QLabel *, 6> ScaleLabels{}; // Label15 .. Label20
    QLabel *Label15 = nullptr, *Label16 = nullptr, *Label17 = nullptr, *Label18 = nullptr,
           *Label19 = nullptr, *Label20 = nullptr;
    QLabel *L0 = nullptr, *L250 = nullptr, *L500 = nullptr, *L750 = nullptr, *L1000 = nullptr,
           *L1200 = nullptr;
    QLabel *ALC1 = nullptr;
    QLabel *P_max1 = nullptr;
    QLabel *Label21 = nullptr; // "Power  Out:"
    QLabel *Label22 = nullptr; // "Power Max:"
    QLabel *P_out = nullptr;
    QLabel *P_max_label = nullptr;
    TLedLamp *tx_led = nullptr;
    TPanel *Panel1 = nullptr;
    // Tells a screen reader of transmit, PTT-block and alarm changes.
    TAnnouncer *Announcer = nullptr;
    // "COM Port"
    QGroupBox *GroupBox2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *Refresh1 = nullptr;
    TColorButton *openport = nullptr;
    TColorButton *closeport = nullptr;
    TLedLamp *rxLED = nullptr;
    TLedLamp *txled = nullptr;
    QLabel *RxDLabel = nullptr;
    QLabel *TxDLabel = nullptr;
    // Band
    QGroupBox *GroupBox1 = nullptr;
    std::array<TShape *, 7> Band{};        // Band1 .. Band7
    std::array<QLabel *, 10> BandLabels{}; // Label1 .. Label10
    // Temperature
    QGroupBox *Temp1 = nullptr;
    QLabel *Temp2 = nullptr;
    QLabel *Label25 = nullptr;
    // Menus
    QAction *NetworkPort1 = nullptr;
    QAction *File1 = nullptr, *PortMonitor1 = nullptr, *ATUPanel1 = nullptr, *PAType1 = nullptr,
            *N12kW1 = nullptr, *N24kW1 = nullptr, *Exit1 = nullptr, *AutoReconnect1 = nullptr;
    QAction *Fancharacteristic1 = nullptr, *N501 = nullptr, *Max1 = nullptr, *Hysteresis1 = nullptr,
            *Fixed1 = nullptr;
    QAction *Interface1 = nullptr, *YAESUBCD1 = nullptr, *YAESUFT8171 = nullptr, *ICOM1 = nullptr,
            *Kenwood1 = nullptr, *OTRSP1 = nullptr, *Flex1 = nullptr, *Manual1 = nullptr;
    QAction *AlarmIndication1 = nullptr, *CWbybuzzer1 = nullptr, *Buzzer1 = nullptr,
            *Nosound1 = nullptr;
    QAction *InputPower1 = nullptr, *N4W1 = nullptr, *N60W1 = nullptr;
    QAction *Barreaction1 = nullptr, *Veryslow1 = nullptr, *Slow1 = nullptr, *Fast1 = nullptr,
            *Veryfast1 = nullptr;
    QAction *TOT1 = nullptr, *Off1 = nullptr, *N5min1 = nullptr, *N15min1 = nullptr,
            *N30min1 = nullptr;
    QAction *About1 = nullptr;
    // Timers
    QTimer *Timer1 = nullptr; // handshake
    QTimer *Timer2 = nullptr; // poll

private:
    void CreateControls(); // Unit1Layout.cpp
    void CreateMenus();    // Unit1Layout.cpp
    void ConnectHandlers();
    void SetClosedState(bool closeportLatched);
    // Shows ports by their labels (a by-id link with its adapter's product),
    // each entry holding the name that Open Port opens.
    void FillPortList(const QStringList &ports, int index);
    void FailOpen(const QString &message, const QString &title);
    void DrawConnection(const AmpState &state);
    // Open Port pressed in or not as the connection is, set again after each
    // click's latch toggle, whatever box the click's handler showed.
    void OpenPortFollowsState();
    void DrawReadingsCurrent(const AmpState &state);
    // The settings read at start; a first save of the user's settings
    // starts from their file.
    const Settings &settings;
    void DrawInterface(const AmpState &state);
    void DrawSettings(const AmpState &state);
};
