// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "config/PortRules.h"
#include "serial/Transport.h"
#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/Captions.h"
#include "widgets/ColorButton.h"
#include "widgets/Runtime.h"

#include <QAbstractItemView>
#include <QAction>
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

MainWindow::MainWindow(AmpLink &link, const Settings &settings, QWidget *parent)
    : QMainWindow(parent), Link(link), settings(settings) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvik 1200 Remote Control"));
    CreateControls();
    CreateMenus();
    // Open Port's look follows the connection once a click is over,
    // whatever its handler did.
    openPortButton->onlatch = [this](QObject *) { OpenPortFollowsState(); };
    connect(&Link, &AmpLink::ReportApplied, this, &MainWindow::NoteReport);
    connect(&Link, &AmpLink::StateChanged, this, &MainWindow::DrawState);
    connect(&Link, &AmpLink::Event, this, &MainWindow::ShowLinkEvent);
    ShowStartState();
}

MainWindow::~MainWindow() = default;

void MainWindow::Announce(const QString &message) {
    announcer->Announce(message);
}

// ---- Start-up ----------------------------------------------------------------

void MainWindow::ShowStartState() {
    const bool reconnect = settings.configuration.autoReconnect;
    Link.SetAutoReconnect(reconnect);
    autoReconnectAction->setChecked(reconnect);
    const QStringList enumerated = EnumeratePorts();
    const PortRules::Selection sel = PortRules::SelectConfigured(
        enumerated, settings.configuration.port, PortRules::IsCharacterDevice);
    // A configured device that the system does not list stays on offer.
    extraPort.clear();
    if (sel.index >= 0 && !enumerated.contains(sel.ports.at(sel.index)))
        extraPort = sel.ports.at(sel.index);
    FillPortList(sel.ports, sel.index);

    closePortButton->SetDown(true);
    openPortButton->SetDown(false);
    SetBandsEnabled(false);
    outputLevelMark->hide();
    peakMark->hide();
    peakReadout->clear();
    outputReadout->clear();
    outputMeter->SetPosition(0);
    reverseMeter->SetPosition(0);
    atuPanelAction->setEnabled(false);
}

// ---- Connection ----------------------------------------------------------------

void MainWindow::OpenSelectedPort() {
    const QString port = SelectedPort();
    if (port.trimmed().isEmpty()) {
        // Nothing to open: say so and stay closed, rather than failing later
        // on the first send with the window half switched. With no port at
        // all, say how one comes.
        FailOpen(portList->count() ? QStringLiteral("Please select a COM port first.")
                                   : NoPortText(),
                 QStringLiteral("Error"));
        return;
    }
    portList->setEnabled(false);
    const QString failure = Link.Open(port);
    if (!failure.isEmpty())
        FailOpen(failure, QString());
}

void MainWindow::FailOpen(const QString &message, const QString &title) {
    // The window stays closed and usable: the list can be changed and Open
    // Port clicked again. (The button's look follows the state once the
    // click is over, see OpenPortFollowsState.)
    portList->setEnabled(true);
    openPortButton->setEnabled(true);
    Runtime::ShowMessage(message, title.isEmpty() ? QStringLiteral("Orvik Remote Control") : title,
                         Runtime::MsgIcon::Error, this);
}

void MainWindow::SetAutoReconnect(bool on) {
    Link.SetAutoReconnect(on);
    const QString failure = settings.Save(Settings::AutoReconnect, QString::number(int(on)));
    if (!failure.isEmpty())
        Runtime::ShowMessage(
            failure + QStringLiteral("\n\nThe setting holds until the program ends."),
            QStringLiteral("Orvik Remote Control"), Runtime::MsgIcon::Warning, this);
}

QStringList MainWindow::ListPorts() const {
    QStringList ports = EnumeratePorts();
    if (!extraPort.isEmpty() && !ports.contains(extraPort) &&
        (Transport::IsTcpName(extraPort) || PortRules::IsCharacterDevice(extraPort)))
        ports.append(extraPort);
    return ports;
}

void MainWindow::RefillPortList(bool selectFirst) {
    const QStringList ports = ListPorts();
    FillPortList(ports, selectFirst && !ports.isEmpty() ? 0 : -1);
}

void MainWindow::FillPortList(const QStringList &ports, int index) {
    portList->clear();
    for (const QString &port : ports)
        AddPortEntry(portList, port);
    portList->setCurrentIndex(index);
    // An empty list says why it is empty (in its width, and whole when
    // hovered); a list with no entry chosen stays blank.
    portList->setPlaceholderText(ports.isEmpty() ? QStringLiteral("No ports") : QString());
    portList->setToolTip(ports.isEmpty() ? QStringLiteral("No serial port found: plug in the "
                                                          "cable, then right-click and Refresh")
                                         : QString());
}

QString MainWindow::NoPortText() {
    return QStringLiteral("No serial port found.\n\nPlug in the amplifier's cable (a USB "
                          "adapter shows up as ttyUSB0 or ttyACM0), then right-click the port "
                          "list and choose Refresh. For an amplifier on another machine, add "
                          "its ser2net port with File \u2192 Network port\u2026");
}

QString MainWindow::SelectedPort() const {
    const int index = portList->currentIndex();
    if (index < 0)
        return QString();
    const QString name = portList->itemData(index).toString();
    return name.isEmpty() ? portList->currentText() : name;
}

void MainWindow::AskForNetworkPort() {
    bool ok = false;
    const QString current = SelectedPort();
    const QString text = QInputDialog::getText(
        this, QStringLiteral("Network port"),
        QStringLiteral("Address of the ser2net port (tcp://HOST:PORT):"), QLineEdit::Normal,
        Transport::IsTcpName(current) ? current : QStringLiteral("tcp://"), &ok);
    if (ok)
        AddNetworkPort(PortRules::TypedNetworkAddress(text));
}

bool MainWindow::AddNetworkPort(const QString &text) {
    QString name;
    QString reason;
    if (!PortRules::NetworkPortName(text, &name, &reason)) {
        Runtime::ShowMessage(
            QStringLiteral("\"%1\" is not a network port: %2.").arg(text.trimmed(), reason),
            QStringLiteral("Network port"), Runtime::MsgIcon::Error, this);
        return false;
    }
    extraPort = name;
    int index = -1;
    for (int i = 0; i < portList->count() && index < 0; ++i) {
        if (portList->itemData(i).toString().compare(name, Qt::CaseInsensitive) == 0)
            index = i;
    }
    if (index < 0) {
        AddPortEntry(portList, name);
        index = portList->count() - 1;
    }
    portList->setCurrentIndex(index);
    const QString failure = settings.Save(Settings::Port, name);
    if (!failure.isEmpty())
        Runtime::ShowMessage(failure + QStringLiteral("\n\nThe port is in the list until the "
                                                      "program ends."),
                             QStringLiteral("Network port"), Runtime::MsgIcon::Warning, this);
    return true;
}

QString MainWindow::AboutText() {
    return QStringLiteral("Orvik Remote Control\n"
                          "Version " ORVIK_VERSION "\n\n"
                          "Remote control of the Orvik 1200 HF linear amplifier "
                          "(1 kW / 1.2 kW and 2.4 kW versions) and of its automatic "
                          "antenna tuner over a serial line.\n\n"
                          "Amplifier: Orvik 1200, made by Orvik.\n"
                          "Written by the Orvik Remote Control team.\n" ORVIK_HOMEPAGE);
}
