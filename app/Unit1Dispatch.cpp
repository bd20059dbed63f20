// The main window as a view of the link: received text goes to the link,
// which interprets it; the window draws what changed in the link's state
// and shows the message boxes the link asks for.
#include "app/Unit1.h"

#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/Captions.h"
#include "widgets/ColorButton.h"
#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>

#include <initializer_list>
#include <optional>

namespace {

// The "Temperature" group box shows its colour as its background.
void SetGroupColor(QGroupBox *box, TColor color) {
    QPalette p = box->palette();
    p.setColor(QPalette::Window, ToQColor(color));
    box->setPalette(p);
    box->setAutoFillBackground(true);
}

void MoveLeft(QWidget *w, int left) {
    w->move(left, w->y());
}

TColor TemperatureColor(Reports::TempRange range) {
    switch (range) {
    case Reports::TempRange::Cool:
        return clLime;
    case Reports::TempRange::Warm:
        return clYellow;
    case Reports::TempRange::Hot:
        return clFuchsia;
    case Reports::TempRange::Alarm:
        break;
    }
    return clRed;
}

// Checks item n (1-based) of a radio group; 0 (unknown) checks nothing.
void CheckNth(std::initializer_list<QAction *> items, int n) {
    if (n >= 1 && n <= int(items.size()))
        items.begin()[n - 1]->setChecked(true);
}

Runtime::MsgIcon IconOf(LinkEffect::Icon icon) {
    switch (icon) {
    case LinkEffect::Icon::Warning:
        return Runtime::MsgIcon::Warning;
    case LinkEffect::Icon::Information:
        return Runtime::MsgIcon::Information;
    case LinkEffect::Icon::Error:
        break;
    }
    return Runtime::MsgIcon::Error;
}

} // namespace

void TForm1::SerialPortReceive(TSerialPort *, const QByteArray &Buffer) {
    Link.ReceiveChunk(Buffer);
}

void TForm1::ShowLinkEffect(const LinkEffect &effect) {
    switch (effect.kind) {
    case LinkEffect::Kind::Message:
        Runtime::ShowMessage(effect.text, effect.title, IconOf(effect.icon), this);
        break;
    case LinkEffect::Kind::Disconnected:
        Runtime::ShowMessage(effect.text, effect.title, IconOf(effect.icon), this);
        ComboBox1->setCurrentIndex(-1);
        break;
    default:
        break;
    }
}

void TForm1::TrafficLogged(bool sent) {
    TLedLamp *lamp = sent ? txled : rxLED;
    if (lamp)
        lamp->SetValue(!lamp->Value());
}

void TForm1::DrawInterface(const AmpState &s) {
    if (QAction *item = InterfaceItem(s.Interface))
        item->setChecked(true);
    const std::optional<MainRules::InterfaceInfo> info = MainRules::Interface(s.BandGroupInterface);
    if (!info)
        return;
    GroupBox1->setTitle(info->bandCaption);
    if (info->bandsEnabled)
        enable_all_bands();
    else
        unenable_all_bands();
}

void TForm1::DrawSettings(const AmpState &s) {
    CheckNth({N501, Max1, Hysteresis1, Fixed1}, s.Fan);
    CheckNth({CWbybuzzer1, Buzzer1, Nosound1}, s.AlarmSound);
    CheckNth({Veryslow1, Slow1, Fast1, Veryfast1}, s.BarSpeed);
    CheckNth({Off1, N5min1, N15min1, N30min1}, s.Tot);
    // The operator cannot choose the input power class.
    QAction *inPower = s.InPower == 1 ? N4W1 : s.InPower == 2 ? N60W1 : nullptr;
    if (inPower && !inPower->isChecked()) {
        inPower->setEnabled(true);
        inPower->setChecked(true);
        inPower->setEnabled(false);
    }
}

void TForm1::DrawReadingsCurrent(const AmpState &s) {
    // Greyed while the amplifier does not answer: the values stay in sight
    // as they were last reported, but nothing says they hold now.
    const bool current = !s.NoAnswer;
    for (QWidget *reading :
         std::initializer_list<QWidget *>{P_out, P_max_label, output, swr, tx_led, Temp2, Label25})
        reading->setEnabled(current);
    // Open Port, pressed in, turns from lime to alert pink.
    openport->SetDownColor(current ? clLime : clAlertPink);
    openport->update();
    SetGroupColor(Temp1, !current        ? clSilver
                         : s.Temperature ? TemperatureColor(s.TemperatureRange)
                                         : clLime);
    if (s.IsConnected())
        Announcer->Announce(current ? QStringLiteral("The amplifier answers again")
                                    : QStringLiteral("No answer from the amplifier"));
}

void TForm1::StateChanged(const AmpState &s, unsigned changed) {
    if (changed & (StateChange::Connection | StateChange::NoAnswer))
        DrawConnection(s);
    if (changed & StateChange::NoAnswer)
        DrawReadingsCurrent(s);
    if (changed & StateChange::Ptt) {
        const QString caption = s.PttBlocked ? PttCaption::Blocked : PttCaption::Free;
        // A screen reader hears of a change, not of every confirmation.
        if (Panel1->Caption() != caption)
            Announcer->Announce(s.PttBlocked ? QStringLiteral("PTT blocked")
                                             : QStringLiteral("PTT free"));
        Panel1->SetCaption(caption);
        Panel1->SetColor(s.PttBlocked ? clAlertPink : clLightGreen);
    }
    if ((changed & StateChange::Temperature) && s.Temperature) {
        Temp2->setText(*s.Temperature);
        // Three digits are wider than the box at its laid-out 61 pixels.
        Temp2->setFont(
            FitToWidth(Temp2->font(), *s.Temperature, Temp2->contentsRect().width(), 61));
        SetGroupColor(Temp1, TemperatureColor(s.TemperatureRange));
    }
    if (changed & StateChange::Band)
        for (int i = 1; i <= int(Band.size()); ++i)
            Band[std::size_t(i - 1)]->SetBrushColor(i == s.CurrentBand ? clLime : clSilver);
    if (changed & StateChange::PaType) {
        (s.Pa12kW() ? N12kW1 : N24kW1)->setChecked(true);
        // The bar shows half the watts of a 2.4 kW amplifier.
        output->SetValueScale(s.Pa12kW() ? 1 : 2);
        const std::array<QString, 5> texts = MainRules::ScaleTexts(s.PaType);
        for (std::size_t i = 0; i < texts.size(); ++i)
            ScaleLabels[i + 1]->setText(texts[i]);
    }
    if (changed & StateChange::Interface)
        DrawInterface(s);
    if (changed & StateChange::Settings)
        DrawSettings(s);
    if (changed & StateChange::Power) {
        P_max_label->setText(s.PeakText);
        if (s.PeakLeft) {
            MoveLeft(P_max1, *s.PeakLeft);
            if (P_max1->isHidden())
                P_max1->show();
        } else if (!P_max1->isHidden()) {
            P_max1->hide();
        }
        P_out->setText(s.OutputText);
        output->SetPosition(s.OutputPosition);
        swr->SetPosition(s.ReversePosition);
    }
    if (changed & StateChange::Alc) {
        if (ALC1->isHidden() == s.AlcVisible)
            ALC1->setVisible(s.AlcVisible);
        if (s.AlcLeft)
            MoveLeft(ALC1, *s.AlcLeft);
    }
    if (changed & StateChange::Transmit) {
        if (tx_led->Value() != s.Transmitting)
            Announcer->Announce(s.Transmitting ? QStringLiteral("Transmitting")
                                               : QStringLiteral("Receiving"));
        tx_led->SetValue(s.Transmitting);
        // The PTT-block panel covers the readouts except while transmitting.
        Panel1->setVisible(!s.Transmitting);
    }
    if (changed & StateChange::AtuFitted)
        ATUPanel1->setEnabled(s.AtuFitted);
}
