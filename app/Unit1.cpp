#include "app/Unit1.h"

#include "app/IniFile.h"
#include "app/PortRules.h"
#include "app/Runtime.h"
#include "service/Unit2.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"

#include <QComboBox>
#include <QLabel>
#include <QTimer>

TForm1::TForm1(TWindows &windows, QWidget *parent) : QMainWindow(parent), Windows(windows) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvik 1200 Remote Control"));

    SerialPort = new TSerialPort(this);
    SerialPort->setObjectName(QStringLiteral("SerialPort"));
    SerialPort->OnReceive = [this](TSerialPort *s, const QByteArray &b) {
        Runtime::Guarded([&] { SerialPortReceive(s, b); });
    };
    SerialPort->OnDisconnect = [this](TSerialPort *s, TCommPort p) {
        Runtime::Guarded([&] { SerialPortDisconnect(s, p); });
    };

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this,
            [this] { Runtime::Guarded([this] { Timer1Timer(); }); });
    connect(Timer2, &QTimer::timeout, this,
            [this] { Runtime::Guarded([this] { Timer2Timer(); }); });

    CreateControls();
    CreateMenus();
    ConnectHandlers();
    // The layout starts the poll timer; it idles until the amplifier is connected.
    Timer2->start();
    FormCreate();
}

TForm1::~TForm1() {
    // The windows are going away: no event may reach them any more.
    SerialPort->OnReceive = nullptr;
    SerialPort->OnDisconnect = nullptr;
    SerialPort->Close();
}

// ---- Sending ---------------------------------------------------------------

void TForm1::Send(const QByteArray &command, Protocol::Echo echo) {
    SerialPort->SendString(Protocol::Frame(command));
    Log(Protocol::SentEcho(command, echo));
}

void TForm1::SendOnly(const QByteArray &command) {
    SerialPort->SendString(Protocol::Frame(command));
}

void TForm1::Log(const QString &entry) {
    if (Windows.Form2)
        Windows.Form2->AddLine(entry);
}

bool TForm1::IsConnected() const {
    return ConnectionCaption::IsConnected(openport->Caption());
}

bool TForm1::IsConnecting() const {
    return ConnectionCaption::IsConnecting(openport->Caption());
}

// ---- Start-up ----------------------------------------------------------------

void TForm1::FormCreate() {
    Session.CalValue = 255;
    Session.PaIdentified = false;

    // Beside the executable, then the user's and the system's folder.
    const QString iniPath = IniFile::FindConfig(Runtime::ExeDir());
    std::optional<QString> configured;
    if (!iniPath.isEmpty())
        configured =
            IniFile::ReadString(iniPath, QStringLiteral("Configuration"), QStringLiteral("Port"));
    const QStringList enumerated = EnumeratePorts();
    const PortRules::Selection sel =
        PortRules::SelectConfigured(enumerated, configured, PortRules::IsCharacterDevice);
    // A configured device that the system does not list stays on offer.
    ExtraPort.clear();
    if (sel.index >= 0 && !enumerated.contains(sel.ports.at(sel.index)))
        ExtraPort = sel.ports.at(sel.index);
    ComboBox1->clear();
    ComboBox1->addItems(sel.ports);
    ComboBox1->setCurrentIndex(sel.index);

    closeport->SetDown(true);
    openport->SetDown(false);

    Session.CurrentBand = 7;
    unenable_all_bands();

    if (ALC1)
        ALC1->hide();
    if (P_max1)
        P_max1->hide();
    if (P_max_label)
        P_max_label->clear();
    if (P_out)
        P_out->clear();
    if (output)
        output->SetPosition(0);
    if (swr)
        swr->SetPosition(0);

    Timer1->stop();
    if (ATUPanel1)
        ATUPanel1->setEnabled(false);
    Session.AlcKnown = false;
    Session.CalKnown = false;
}

// ---- Connection ----------------------------------------------------------------

void TForm1::openportclick() {
    const QString port = ComboBox1->currentIndex() >= 0 ? ComboBox1->currentText() : QString();
    if (port.trimmed().isEmpty()) {
        // Nothing to open: say so and stay closed, rather than failing later
        // on the first send with the window half switched.
        FailOpen(QStringLiteral("Please select a COM port first."), QStringLiteral("Error"));
        return;
    }
    ComboBox1->setEnabled(false);
    TriedPort = port;
    SerialPort->SetPortName(port.trimmed());
    SerialPort->SetBaudRate(BaudRateFromInt(9600));
    SerialPort->SetDataWidth(dw8Bits);
    SerialPort->SetParity(pbNone);
    SerialPort->SetStopBits(sb1Bit);
    SerialPort->SetHwFlowControl(hfNONE);
    SerialPort->SetSwFlowControl(sfNONE);
    SerialPort->SynchronizeEvents = true;
    // A line left unfinished by the last connection must not be glued to
    // the first line of this one.
    Receiver.Reset();
    try {
        SerialPort->Open();
    } catch (const ESerialPortException &e) {
        QString message = e.Message();
        if (message.contains(QStringLiteral("ermission denied")))
            message += QStringLiteral(
                "\n\nAdd your user to the group that owns the device (dialout on Debian: "
                "sudo adduser $USER dialout) and log in again.");
        FailOpen(message, QString());
        return;
    }
    closeport->SetDown(false);
    closeport->setEnabled(true);
    Send(Protocol::Identify);
    openport->setEnabled(false);
    openport->SetCaption(ConnectionCaption::Connecting);
    Timer1->start();
    Timer2->start();
    Session.ConnectTicks = 0;
}

void TForm1::FailOpen(const QString &message, const QString &title) {
    // The window stays closed and usable: the list can be changed and Open
    // Port clicked again. The button's latch toggles after this handler, so
    // it is released once the click has finished.
    ComboBox1->setEnabled(true);
    openport->setEnabled(true);
    QTimer::singleShot(0, openport, [this] { openport->SetDown(false); });
    Runtime::ShowMessage(message, title.isEmpty() ? QStringLiteral("Orvik Remote Control") : title,
                         Runtime::MsgIcon::Error, this);
}

void TForm1::SetClosedState(bool closeportLatched) {
    ComboBox1->setEnabled(true);
    openport->SetDown(false);
    openport->SetCaption(ConnectionCaption::Closed);
    openport->setEnabled(true);
    closeport->SetDown(closeportLatched);
    closeport->setEnabled(false);
}

void TForm1::closeportclick() {
    Timer1->stop();
    Timer2->stop();
    Session.ConnectTicks = 0;
    SetClosedState(false);
    SerialPort->Close();
}

void TForm1::Timer1Timer() {
    ++Session.ConnectTicks;
    if (IsConnecting())
        Send(Protocol::Identify);
    if (Session.ConnectTicks > 10) {
        Timer1->stop();
        Session.ConnectTicks = 0;
        closeportclick();
        Runtime::ShowMessage(QStringLiteral("Sorry, PA not found on ") + TriedPort,
                             QStringLiteral("Error"), Runtime::MsgIcon::Error, this);
    }
}

void TForm1::SerialPortDisconnect(TSerialPort *, TCommPort) {
    Timer1->stop();
    Timer2->stop();
    Runtime::ShowMessage(QStringLiteral("Disconnected from COM Port"), QStringLiteral("COM Port "),
                         Runtime::MsgIcon::Warning, this);
    SerialPort->Close();
    ComboBox1->setCurrentIndex(-1);
    SetClosedState(false);
}

QStringList TForm1::ListPorts() const {
    QStringList ports = EnumeratePorts();
    if (!ExtraPort.isEmpty() && !ports.contains(ExtraPort) &&
        PortRules::IsCharacterDevice(ExtraPort))
        ports.append(ExtraPort);
    return ports;
}

void TForm1::Refresh1Click() {
    ComboBox1->clear();
    ComboBox1->addItems(ListPorts());
    if (ComboBox1->count() > 0)
        ComboBox1->setCurrentIndex(0);
}

void TForm1::ComboBox1DblClick() {
    ComboBox1->clear();
    ComboBox1->addItems(ListPorts());
    ComboBox1->setCurrentIndex(-1);
}
