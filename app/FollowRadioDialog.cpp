// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FollowRadioDialog.h"

#include "config/Settings.h"
#include "link/BandPlan.h"
#include "link/Facts.h"
#include "rig/Follower.h"
#include "rig/RigctldClient.h"
#include "station/Station.h"
#include "widgets/Runtime.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int TestTimeoutMs = 5000;
QString BandText(std::optional<int> band) {
    return band ? QStringLiteral(" (band %1)").arg(Facts::BandName(*band)) : QString();
}
} // namespace

FollowRadioDialog::FollowRadioDialog(Station &station, Settings &settings, QWidget *parent)
    : QDialog(parent), station(station), settings(settings) {
    setObjectName(QStringLiteral("FollowRadio"));
    setWindowTitle(QStringLiteral("Follow the radio"));
    auto *intro = new QLabel(
        QStringLiteral("The amplifier takes its band from the radio's transmit frequency, read "
                       "from Hamlib's rigctld (for example: rigctld -m MODEL -r /dev/ttyUSB1). "
                       "It needs the interface \"Manual\"; a change waits while the amplifier "
                       "or the radio transmits."),
        this);
    intro->setWordWrap(true);
    addressEdit = new QLineEdit(this);
    addressEdit->setObjectName(QStringLiteral("RigAddress"));
    addressEdit->setPlaceholderText(QStringLiteral("rigctld://127.0.0.1:4532"));
    const rig::Follower *follower = station.Rig();
    addressEdit->setText(follower && !follower->State().source.isEmpty() ? follower->State().source
                                                                         : settings.rig.follow);
    testButton = new QPushButton(QStringLiteral("&Test"), this);
    testButton->setObjectName(QStringLiteral("RigTest"));
    testResult = new QLabel(this);
    testResult->setObjectName(QStringLiteral("RigTestResult"));
    testResult->setWordWrap(true);
    followBox = new QCheckBox(QStringLiteral("&Follow the radio's band"), this);
    followBox->setObjectName(QStringLiteral("RigFollow"));
    followBox->setChecked(follower ? follower->Following() : settings.rig.following);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("RigStatus"));
    statusLabel->setWordWrap(true);

    auto *form = new QFormLayout;
    auto *row = new QHBoxLayout;
    row->addWidget(addressEdit, 1);
    row->addWidget(testButton);
    auto *addressLabel = new QLabel(QStringLiteral("&rigctld:"), this);
    addressLabel->setBuddy(addressEdit);
    form->addRow(addressLabel, row);
    form->addRow(QString(), testResult);
    form->addRow(QString(), followBox);
    form->addRow(QStringLiteral("Now:"), statusLabel);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(460);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(testButton, &QPushButton::clicked, this, &FollowRadioDialog::Test);
    if (follower)
        connect(follower, &rig::Follower::StatusChanged, this, &FollowRadioDialog::ShowStatus);
    ShowStatus();
}

FollowRadioDialog::~FollowRadioDialog() = default;

QString FollowRadioDialog::StatusText(const rig::Status &s) {
    if (s.source.isEmpty())
        return QStringLiteral("Not following: no rig set.");
    if (!s.connected)
        return QStringLiteral("No connection to %1; trying again.").arg(s.source);
    QString text = s.frequencyHz ? QStringLiteral("The radio is on ") + rig::MHz(*s.frequencyHz)
                                 : QStringLiteral("The radio does not tell its frequency");
    if (s.txHz)
        text += QStringLiteral(", transmitting on ") + rig::MHz(*s.txHz);
    text += BandText(s.band) + QLatin1Char('.');
    if (!s.reason.isEmpty())
        text += QStringLiteral(" Nothing sent: ") + s.reason + QLatin1Char('.');
    else if (s.following)
        text += QStringLiteral(" Following.");
    return text;
}

void FollowRadioDialog::ShowStatus() {
    const rig::Follower *follower = station.Rig();
    statusLabel->setText(StatusText(follower ? follower->State() : rig::Status()));
}

void FollowRadioDialog::Test() {
    rig::Address address;
    if (const QString error = rig::ParseAddress(addressEdit->text(), &address); !error.isEmpty()) {
        testResult->setText(error);
        return;
    }
    testButton->setEnabled(false);
    testResult->setText(QStringLiteral("Connecting to %1…").arg(address.Text()));
    probe = std::make_unique<rig::RigctldClient>(address);
    auto finish = [this](const QString &text) {
        testResult->setText(text);
        testButton->setEnabled(true);
        // Not from inside the client's own signal.
        QTimer::singleShot(0, this, [this] { probe.reset(); });
    };
    connect(probe.get(), &rig::RigctldClient::Polled, this, [finish](const rig::Radio &r) {
        if (!r.connected)
            return;
        const std::optional<qint64> tx = r.TransmitHz();
        const int band = tx ? BandPlan::BandOf(*tx) : 0;
        finish(r.frequencyHz
                   ? QStringLiteral("Connected: the radio is on %1%2.")
                         .arg(rig::MHz(*r.frequencyHz),
                              band ? BandText(band) : QStringLiteral(" (outside every band)"))
                   : QStringLiteral("Connected, but the radio does not tell its "
                                    "frequency."));
    });
    connect(probe.get(), &rig::RigctldClient::ConnectionChanged, this,
            [finish](bool connected, const QString &why) {
                if (!connected)
                    finish(QStringLiteral("No connection: ") + why);
            });
    QTimer::singleShot(TestTimeoutMs, probe.get(), [finish] {
        finish(QStringLiteral("rigctld did not answer within %1 s.").arg(TestTimeoutMs / 1000));
    });
    probe->Start();
}

void FollowRadioDialog::accept() {
    const QString address = addressEdit->text().trimmed();
    rig::Address parsed;
    if (!address.isEmpty()) {
        if (const QString error = rig::ParseAddress(address, &parsed); !error.isEmpty()) {
            Runtime::ShowMessage(error, windowTitle(), Runtime::MsgIcon::Warning, this);
            return;
        }
    }
    const QString text = address.isEmpty() ? QString() : parsed.Text();
    const bool following = followBox->isChecked();
    QString error = settings.Save(Settings::RigFollow, text);
    if (error.isEmpty())
        error = settings.Save(Settings::RigFollowing,
                              following ? QStringLiteral("1") : QStringLiteral("0"));
    if (!error.isEmpty())
        Runtime::ShowMessage(error + QStringLiteral("\n\nFollowing applies until the end."),
                             windowTitle(), Runtime::MsgIcon::Warning, this);
    settings.rig.follow = text;
    settings.rig.following = following;
    station.StartRig(text, following);
    QDialog::accept();
}
