#include "app/Unit1.h"

#include "config/PortRules.h"
#include "serial/Transport.h"
#include "widgets/BarMeter.h"
#include "widgets/Captions.h"
#include "widgets/ColorButton.h"
#include "widgets/Runtime.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

namespace {

// An entry of the port list: its label and the name it opens; its tooltip is
// the whole name, with the device and the adapter's product when the label
// shows them. The open list is as wide as its longest label; the box keeps
// its laid-out size.
void AddPortEntry(QComboBox *list, const QString &port) {
    const QString label = PortLabel(port);
    list->addItem(label, port);
    list->setItemData(list->count() - 1, label == port ? port : port + QLatin1Char('\n') + label,
                      Qt::ToolTipRole);
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 8);
}

} // namespace

TForm1::TForm1(TWindows &windows, const Settings &settings, QWidget *parent)
    : QMainWindow(parent), Windows(windows), Link(*windows.Link), settings(settings) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvik 1200 Remote Control"));

    SerialPort = Link.Port();
    Timer1 = Link.HandshakeTimer();
    Timer2 = Link.PollTimer();

    CreateControls();
    CreateMenus();
    ConnectHandlers();
    connect(&Link, &AmpLink::StateChanged, this, &TForm1::StateChanged);
    connect(&Link, &AmpLink::Effect, this, &TForm1::ShowLinkEffect);
    // The layout starts the poll timer; it idles until the amplifier is connected.
    Timer2->start();
    FormCreate();
}

TForm1::~TForm1() = default;

// ---- Start-up ----------------------------------------------------------------

void TForm1::FormCreate() {
    const std::optional<QString> configured = settings.configuration.port;
    const bool reconnect = settings.configuration.autoReconnect;
    Link.SetAutoReconnect(reconnect);
    AutoReconnect1->setChecked(reconnect);
    const QStringList enumerated = EnumeratePorts();
    const PortRules::Selection sel =
        PortRules::SelectConfigured(enumerated, configured, PortRules::IsCharacterDevice);
    // A configured device that the system does not list stays on offer.
    ExtraPort.clear();
    if (sel.index >= 0 && !enumerated.contains(sel.ports.at(sel.index)))
        ExtraPort = sel.ports.at(sel.index);
    FillPortList(sel.ports, sel.index);

    closeport->SetDown(true);
    openport->SetDown(false);

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
}

// ---- Connection ----------------------------------------------------------------

void TForm1::openportclick() {
    const QString port = SelectedPort();
    if (port.trimmed().isEmpty()) {
        // Nothing to open: say so and stay closed, rather than failing later
        // on the first send with the window half switched.
        FailOpen(QStringLiteral("Please select a COM port first."), QStringLiteral("Error"));
        return;
    }
    ComboBox1->setEnabled(false);
    const QString failure = Link.Open(port);
    if (!failure.isEmpty())
        FailOpen(failure, QString());
}

void TForm1::FailOpen(const QString &message, const QString &title) {
    // The window stays closed and usable: the list can be changed and Open
    // Port clicked again. (The button's look follows the state once the
    // click is over, see OpenPortFollowsState.)
    ComboBox1->setEnabled(true);
    openport->setEnabled(true);
    Runtime::ShowMessage(message, title.isEmpty() ? QStringLiteral("Orvik Remote Control") : title,
                         Runtime::MsgIcon::Error, this);
}

void TForm1::OpenPortFollowsState() {
    // Pressed in while the link holds or waits for a port.
    const LinkPhase phase = Link.State().Phase;
    openport->SetDown(phase == LinkPhase::Connecting || phase == LinkPhase::Connected ||
                      phase == LinkPhase::Waiting);
}

void TForm1::SetClosedState(bool closeportLatched) {
    ComboBox1->setEnabled(true);
    openport->SetDown(false);
    openport->SetCaption(ConnectionCaption::Closed);
    openport->setEnabled(true);
    closeport->SetDown(closeportLatched);
    closeport->setEnabled(false);
}

void TForm1::DrawConnection(const AmpState &s) {
    const LinkPhase phase = s.Phase;
    const QString title = QStringLiteral("Orvik 1200 Remote Control");
    setWindowTitle(phase == LinkPhase::Waiting
                       ? title + QStringLiteral(" - waiting for ") + s.PortName
                   : s.NoAnswer ? title + QStringLiteral(" - no answer from ") + s.PortName
                                : title);
    OpenPortFollowsState();
    switch (phase) {
    case LinkPhase::Start:
        break;
    case LinkPhase::Connecting:
        closeport->SetDown(false);
        closeport->setEnabled(true);
        openport->setEnabled(false);
        openport->SetCaption(ConnectionCaption::Connecting);
        break;
    case LinkPhase::Connected:
        openport->SetCaption(s.NoAnswer ? ConnectionCaption::NoAnswer
                                        : ConnectionCaption::Connected);
        break;
    case LinkPhase::Closed:
        SetClosedState(false);
        break;
    case LinkPhase::Waiting:
        // Only Close Port stays: it stops the retries.
        ComboBox1->setEnabled(false);
        openport->setEnabled(false);
        openport->SetCaption(ConnectionCaption::Waiting);
        closeport->SetDown(false);
        closeport->setEnabled(true);
        break;
    }
}

void TForm1::AutoReconnect1Click() {
    const bool on = AutoReconnect1->isChecked();
    Link.SetAutoReconnect(on);
    const QString failure = settings.Save(Settings::AutoReconnect, QString::number(int(on)));
    if (!failure.isEmpty())
        Runtime::ShowMessage(
            failure + QStringLiteral("\n\nThe setting holds until the program ends."),
            QStringLiteral("Orvik Remote Control"), Runtime::MsgIcon::Warning, this);
}

void TForm1::closeportclick() {
    Link.Close();
}

void TForm1::Timer1Timer() {
    Link.HandshakeTick();
}

void TForm1::Timer2Timer() {
    Link.PollTick();
}

void TForm1::SerialPortDisconnect(TSerialPort *, TCommPort) {
    Link.PortDisconnected();
}

QStringList TForm1::ListPorts() const {
    QStringList ports = EnumeratePorts();
    if (!ExtraPort.isEmpty() && !ports.contains(ExtraPort) &&
        (Transport::IsTcpName(ExtraPort) || PortRules::IsCharacterDevice(ExtraPort)))
        ports.append(ExtraPort);
    return ports;
}

void TForm1::FillPortList(const QStringList &ports, int index) {
    ComboBox1->clear();
    for (const QString &port : ports)
        AddPortEntry(ComboBox1, port);
    ComboBox1->setCurrentIndex(index);
}

QString TForm1::SelectedPort() const {
    const int index = ComboBox1->currentIndex();
    if (index < 0)
        return QString();
    const QString name = ComboBox1->itemData(index).toString();
    return name.isEmpty() ? ComboBox1->currentText() : name;
}

void TForm1::Refresh1Click() {
    const QStringList ports = ListPorts();
    FillPortList(ports, ports.isEmpty() ? -1 : 0);
}

void TForm1::ComboBox1DblClick() {
    FillPortList(ListPorts(), -1);
}

void TForm1::NetworkPort1Click() {
    bool ok = false;
    const QString current = SelectedPort();
    const QString text = QInputDialog::getText(
        this, QStringLiteral("Network port"),
        QStringLiteral("Address of the ser2net port (tcp://HOST:PORT):"), QLineEdit::Normal,
        Transport::IsTcpName(current) ? current : QStringLiteral("tcp://"), &ok);
    if (ok)
        AddNetworkPort(PortRules::TypedNetworkAddress(text));
}

bool TForm1::AddNetworkPort(const QString &text) {
    QString name;
    QString reason;
    if (!PortRules::NetworkPortName(text, &name, &reason)) {
        Runtime::ShowMessage(
            QStringLiteral("\"%1\" is not a network port: %2.").arg(text.trimmed(), reason),
            QStringLiteral("Network port"), Runtime::MsgIcon::Error, this);
        return false;
    }
    ExtraPort = name;
    int index = -1;
    for (int i = 0; i < ComboBox1->count() && index < 0; ++i) {
        if (ComboBox1->itemData(i).toString().compare(name, Qt::CaseInsensitive) == 0)
            index = i;
    }
    if (index < 0) {
        AddPortEntry(ComboBox1, name);
        index = ComboBox1->count() - 1;
    }
    ComboBox1->setCurrentIndex(index);
    const QString failure = settings.Save(Settings::Port, name);
    if (!failure.isEmpty())
        Runtime::ShowMessage(failure + QStringLiteral("\n\nThe port is in the list until the "
                                                      "program ends."),
                             QStringLiteral("Network port"), Runtime::MsgIcon::Warning, this);
    return true;
}
