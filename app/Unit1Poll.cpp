// The poll cycle: once a second while connected, ask for every setting that
// is still unknown and re-send an unconfirmed PTT-block command.
#include "app/Unit1.h"

#include "app/StdControls.h"

#include <QAction>

#include <initializer_list>

namespace {
bool NoneChecked(std::initializer_list<const QAction *> items) {
    for (const QAction *a : items)
        if (a->isChecked())
            return false;
    return true;
}
} // namespace

void TForm1::Timer2Timer() {
    if (!IsConnected())
        return;
    // Bare CR LF lines separate the queries; they are never echoed.
    const QByteArray bare;
    auto ask = [this](const QByteArray &query) { Send(query, Protocol::Echo::WithCrLf); };

    if (NoneChecked({N501, Max1, Hysteresis1, Fixed1}))
        ask(Protocol::AskFan);
    SendOnly(bare);
    if (NoneChecked({YAESUBCD1, YAESUFT8171, ICOM1, Kenwood1, OTRSP1, Flex1, Manual1}))
        ask(Protocol::AskInterface);
    SendOnly(bare);
    if (NoneChecked({CWbybuzzer1, Buzzer1, Nosound1}))
        ask(Protocol::AskAlarmSound);
    SendOnly(bare);
    if (!Session.CalKnown) {
        ask(Protocol::AskCalibration);
        SendOnly(bare);
    }
    if (!Session.AlcKnown) {
        ask(Protocol::AskAlc);
        SendOnly(bare);
    }
    if (NoneChecked({N4W1, N60W1}))
        ask(Protocol::AskInPower);
    SendOnly(bare);
    if (NoneChecked({Veryslow1, Slow1, Fast1, Veryfast1}))
        ask(Protocol::AskBarSpeed);
    SendOnly(bare);
    SendOnly(bare);
    if (NoneChecked({Off1, N5min1, N15min1, N30min1}))
        ask(Protocol::AskTot);
    SendOnly(bare);
    SendOnly(bare);

    // While the amplifier transmits the button is hidden and the commands wait.
    if (IsConnected() && !Panel1->isHidden()) {
        if (Session.BlockOffPending)
            Send(Protocol::BlockOff);
        if (Session.BlockOnPending)
            Send(Protocol::BlockOn);
    }
}
