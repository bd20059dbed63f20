// SPDX-License-Identifier: GPL-3.0-or-later
#include "atu/AtuPanel.h"

#include "link/AmpLink.h"
#include "link/Reports.h"
#include "link/StatusView.h"
#include "widgets/Accessible.h"
#include "widgets/Captions.h"
#include "widgets/ColorButton.h"
#include "widgets/Colors.h"
#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>

#include <cmath>
#include <initializer_list>

namespace {
QFont PanelFont(int pixels, bool bold = false,
                const QString &family = QStringLiteral("MS Sans Serif")) {
    QFont f = SubstituteFontPixels(family, pixels);
    f.setBold(bold);
    return f;
}

QLabel *NewLabel(QWidget *parent, const char *name, const QString &text, QRect r, TColor color,
                 const QFont &font) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(r);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, ToQColor(color));
    // Greyed when disabled: a reading that is not current.
    pal.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(clGrayText));
    l->setPalette(pal);
    return l;
}

QLabel *NewImage(QWidget *parent, const char *name, bool capacitorAtInput) {
    auto *image = new QLabel(parent);
    image->setObjectName(QLatin1String(name));
    image->setAccessibleName(capacitorAtInput
                                 ? QStringLiteral("Tuner network: capacitor at the input, coil")
                                 : QStringLiteral("Tuner network: coil, capacitor at the output"));
    image->setGeometry(352, 32, 169, 73);
    image->setScaledContents(true);
    // Drawn for the screen's density, so that the label scales it down from
    // enough pixels to stay sharp there.
    image->setPixmap(
        QPixmap::fromImage(DrawLNetwork(capacitorAtInput, image->devicePixelRatioF())));
    return image;
}
} // namespace

QImage DrawLNetwork(bool capacitorAtInput, qreal ratio) {
    QImage img(int(std::ceil(LNetworkWidth * ratio)), int(std::ceil(LNetworkHeight * ratio)),
               QImage::Format_RGB32);
    img.setDevicePixelRatio(ratio);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor line = ToQColor(clMaroon);
    const QColor dot = ToQColor(clGreen);
    const QColor letter = ToQColor(clBlue);
    const QPen pen(line, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    constexpr int top = 24;    // the signal line
    constexpr int ground = 82; // the ground line
    constexpr int inX = 10, outX = 160;
    // The coil and the capacitor's junction swap sides between the two pictures.
    const int junctionX = capacitorAtInput ? 42 : 128;
    const int coilStart = capacitorAtInput ? 66 : 42;
    const int coilEnd = coilStart + 64;

    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // Signal line with a gap for the coil, and the coil's four turns.
    p.drawLine(inX, top, coilStart, top);
    p.drawLine(coilEnd, top, outX, top);
    QPainterPath coil(QPointF(coilStart, top));
    const qreal turn = (coilEnd - coilStart) / 4.0;
    for (int i = 0; i < 4; ++i)
        coil.arcTo(QRectF(coilStart + i * turn, top - turn / 2, turn, turn), 180, -180);
    p.drawPath(coil);
    // Ground line between the terminals.
    p.drawLine(inX, ground, outX, ground);
    // Capacitor from the junction down to ground.
    constexpr int plateTop = 46, plateGap = 8, plateHalf = 12;
    p.drawLine(junctionX, top, junctionX, plateTop);
    p.drawLine(junctionX - plateHalf, plateTop, junctionX + plateHalf, plateTop);
    p.drawLine(junctionX - plateHalf, plateTop + plateGap, junctionX + plateHalf,
               plateTop + plateGap);
    p.drawLine(junctionX, plateTop + plateGap, junctionX, ground);
    // Ground mark under the middle of the ground line.
    const int gx = (inX + outX) / 2;
    p.drawLine(gx, ground, gx, ground + 5);
    p.drawLine(gx - 8, ground + 5, gx + 8, ground + 5);
    p.drawLine(gx - 5, ground + 8, gx + 5, ground + 8);
    p.drawLine(gx - 2, ground + 11, gx + 2, ground + 11);
    // Terminals: open circles at both ends of both lines.
    p.setBrush(Qt::white);
    for (int x : {inX, outX})
        for (int y : {top, ground})
            p.drawEllipse(QPointF(x, y), 4, 4);
    // Junction dots.
    p.setPen(Qt::NoPen);
    p.setBrush(dot);
    p.drawEllipse(QPointF(junctionX, top), 4, 4);
    p.drawEllipse(QPointF(junctionX, ground), 4, 4);
    // Letters.
    p.setPen(letter);
    QFont f = SubstituteFontPixels(QStringLiteral("Arial"), 14);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(coilStart, 0, coilEnd - coilStart, int(top - turn / 2) - 1), Qt::AlignCenter,
               QStringLiteral("L"));
    p.drawText(QRect(junctionX + plateHalf + 2, plateTop - 6, 20, 20), Qt::AlignCenter,
               QStringLiteral("C"));
    return img;
}

AtuPanel::AtuPanel(AmpLink &link, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      Link(link) {
    setObjectName(QStringLiteral("Fatu1"));
    setWindowTitle(QStringLiteral("ATU Remote Control"));
    // A secondary window: closing only hides it and never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    CreateControls();
    CreateMenu();
    // Fixed size: the client area plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ShowStartState();
}

void AtuPanel::CreateControls() {
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(572, 131);
    client->setFont(PanelFont(11));
    QPalette pal = client->palette();
    pal.setColor(QPalette::WindowText, ToQColor(clPurple));
    client->setPalette(pal);
    setCentralWidget(client);

    inOutButton = new TPanel(client);
    inOutButton->setObjectName(QStringLiteral("Panel1"));
    inOutButton->setGeometry(24, 12, 129, 41);
    inOutButton->SetCaption(QStringLiteral("Bypass"));
    inOutButton->SetColor(clLightGreen);
    inOutButton->SetFontColor(clBlack);
    inOutButton->setFont(PanelFont(16));
    inOutButton->setCursor(Qt::PointingHandCursor);
    inOutButton->setFocusPolicy(Qt::TabFocus);
    inOutButton->IsChecked = [this] {
        return Link.State().readings.tuner.position == AtuSwitch::InLine;
    };

    tuneButton = new TColorButton(client);
    tuneButton->setObjectName(QStringLiteral("tune1"));
    tuneButton->setGeometry(24, 64, 129, 41);
    tuneButton->SetCaption(QStringLiteral("TUNE"));
    tuneButton->setFont(PanelFont(16, true));
    tuneButton->SetFontColor(clPurple);
    tuneButton->SetLatching(false);
    tuneButton->SetFlat(false);
    tuneButton->SetMarginHorizontal(2);
    tuneButton->SetMarginVertical(4);
    tuneButton->SetColor(clBtnFace);
    tuneButton->SetHotColor(clYellow);
    tuneButton->SetDownColor(clLime);
    tuneButton->SetHotFontColor(clRed);

    statusLamp = new TLedLamp(client);
    statusLamp->setObjectName(QStringLiteral("Led"));
    statusLamp->setGeometry(227, 12, 22, 22);
    statusLamp->SetLEDStyle(LEDLarge);
    statusLamp->SetBordered(false);
    statusLamp->SetBlink(false);
    statusLamp->SetValue(true);
    statusLamp->setAccessibleName(QStringLiteral("Tuner status"));

    const QFont caption = PanelFont(16, true);
    NewLabel(client, "Label5", QStringLiteral("SWR:"), QRect(200, 40, 54, 20), clNavy, caption);
    swrReadout = NewLabel(client, "Label3", QString(), QRect(256, 40, 90, 20), clPurple, caption);
    NewLabel(client, "Label1", QStringLiteral("L:"), QRect(200, 64, 30, 20), clNavy, caption);
    inductanceReadout =
        NewLabel(client, "Label4", QString(), QRect(232, 64, 118, 20), clPurple, caption);
    NewLabel(client, "Label2", QStringLiteral("C:"), QRect(200, 88, 30, 20), clNavy, caption);
    capacitanceReadout =
        NewLabel(client, "Label8", QString(), QRect(232, 88, 118, 20), clPurple, caption);
    forwardCaption = NewLabel(client, "Label6", QStringLiteral("FWD:"), QRect(352, 8, 62, 20),
                              clNavy, PanelFont(16));
    forwardReadout =
        NewLabel(client, "Label7", QString(), QRect(416, 8, 140, 20), clPurple, PanelFont(16));

    // Each value reads with its caption: "SWR 1.5", "L 1.8 µH".
    MakeReadout(swrReadout, QStringLiteral("SWR"));
    MakeReadout(inductanceReadout, QStringLiteral("L"));
    MakeReadout(capacitanceReadout, QStringLiteral("C"));
    MakeReadout(forwardReadout, QStringLiteral("FWD"));

    capacitorAtInputDiagram = NewImage(client, "Image0", true);
    capacitorAtOutputDiagram = NewImage(client, "Image1", false);

    // Last, so that when shown it lies over the lamp, readouts and pictures.
    statusPanel = new TPanel(client);
    statusPanel->setObjectName(QStringLiteral("Panel2"));
    statusPanel->setGeometry(168, 12, 385, 97);
    statusPanel->SetColor(clFuchsia);
    statusPanel->SetFontColor(clPurple);
    statusPanel->setFont(PanelFont(24, true, QStringLiteral("Calibri")));
    statusPanel->hide();

    inOutButton->OnClick = [this] { Runtime::Guarded([this] { Link.ToggleAtu(); }); };
    tuneButton->onclick = [this](QObject *) { Runtime::Guarded([this] { Link.Tune(); }); };
    connect(&Link, &AmpLink::ReportApplied, this, &AtuPanel::NoteReport);
    connect(&Link, &AmpLink::StateChanged, this, &AtuPanel::DrawState);
    connect(&Link, &AmpLink::ServiceReadingsAsked, this, &AtuPanel::RevealServiceReadings);
    connect(&Link, &AmpLink::Event, this, &AtuPanel::ShowLinkEvent);
}

void AtuPanel::CreateMenu() {
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *setup = bar->addMenu(QStringLiteral("Setup"));
    setup->menuAction()->setObjectName(QStringLiteral("Setup1"));
    QMenu *swrMin = setup->addMenu(QStringLiteral("SWR min"));
    swrMin->menuAction()->setObjectName(QStringLiteral("SWRmin1"));
    auto *group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (int i = 0; i < 7; ++i) {
        const int nn = 11 + i;
        QAction *a = swrMin->addAction(QStringLiteral("1.%1").arg(i + 1));
        a->setObjectName(QStringLiteral("SWR%1").arg(nn));
        a->setCheckable(true);
        group->addAction(a);
        swrMinItems[std::size_t(i)] = a;
        connect(a, &QAction::triggered, this,
                [this, nn] { Runtime::Guarded([this, nn] { Link.SetSwrMin(nn); }); });
    }
    setup->addSeparator();
    QAction *memoryClear = setup->addAction(QStringLiteral("Memory Clear"));
    memoryClear->setObjectName(QStringLiteral("MemoryClear1"));
    fineTuningAction = setup->addAction(QStringLiteral("Fine Tuning"));
    fineTuningAction->setObjectName(QStringLiteral("FineTuning1"));
    connect(memoryClear, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { Link.ClearAtuMemory(); }); });
    connect(fineTuningAction, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { Link.FineTune(); }); });
}

namespace {
TColor LampColor(AtuLamp lamp) {
    switch (lamp) {
    case AtuLamp::Red:
        return clRed;
    case AtuLamp::Green:
        return clLime;
    case AtuLamp::Grey:
        return clSilver;
    case AtuLamp::Yellow:
        break;
    }
    return clYellow;
}

TColor StatusColor(Reports::AtuTone tone) {
    switch (tone) {
    case Reports::AtuTone::Busy:
        return clYellow;
    case Reports::AtuTone::Good:
        return clLightGreen;
    case Reports::AtuTone::Alert:
        break;
    }
    return clFuchsia;
}
} // namespace

void AtuPanel::NoteReport(ReportId row, const QString &value) {
    if (row == ReportId::Swr || row == ReportId::EndSwr)
        shown.swr = Reports::SwrText(value);
    else if (row == ReportId::AtuForward)
        shown.forward = value;
}

void AtuPanel::RevealServiceReadings() {
    forwardCaption->show();
    forwardReadout->show();
}

void AtuPanel::DrawState(const AmpStatus &s, unsigned changed) {
    const TunerReadings &tuner = s.readings.tuner;
    const TunerView view = ViewOf(s).tuner;
    // A connection that ends takes the tuner's readings with it, the values
    // shown as received too; so does a reading forgotten (a change of band,
    // a new transmission, a silence).
    const bool ended = s.Phase == LinkPhase::Closed || s.Phase == LinkPhase::Waiting;
    if ((changed & StateChange::Connection) && ended &&
        !(shown.swr.isEmpty() && shown.forward.isEmpty())) {
        shown = Shown();
        changed |= StateChange::AtuReadings;
    }
    if (!view.swr.value && !shown.swr.isEmpty()) {
        shown.swr.clear();
        changed |= StateChange::AtuReadings;
    }
    if (!view.forwardW.value && !shown.forward.isEmpty()) {
        shown.forward.clear();
        changed |= StateChange::AtuReadings;
    }
    if ((changed & StateChange::AtuSwitch) && tuner.position != ::AtuSwitch::Initial) {
        const bool inLine = tuner.position == ::AtuSwitch::InLine;
        inOutButton->SetCaption(inLine ? AtuCaption::InLine : AtuCaption::Bypassed);
        inOutButton->SetColor(inLine ? clLightGreen : clAlertPink);
    }
    if (changed & (StateChange::Firmware | StateChange::AtuSwitch))
        fineTuningAction->setEnabled(s.FineTuningEnabled);
    if (changed & StateChange::AtuStatus) {
        if (!view.status.value) {
            statusPanel->hide();
        } else if (const std::optional<Reports::AtuStatus> st =
                       Reports::AtuStatusFor(*view.status.value)) {
            statusPanel->SetCaption(st->caption);
            statusPanel->SetColor(StatusColor(st->tone));
            statusPanel->show();
        }
    }
    if (changed & StateChange::AtuLamp)
        statusLamp->SetTrueColor(LampColor(tuner.lamp));
    // A reading that is not current is greyed: no answer, the port lost or
    // closed. The start-up look stays until the first connection.
    if (changed & (StateChange::NoAnswer | StateChange::Connection | StateChange::AtuReadings |
                   StateChange::AtuStatus)) {
        const bool startUp = s.connection == 0;
        swrReadout->setEnabled(startUp || view.swr.current);
        inductanceReadout->setEnabled(startUp || view.inductanceUH.current);
        capacitanceReadout->setEnabled(startUp || view.capacitancePF.current);
        forwardReadout->setEnabled(startUp || view.forwardW.current);
        statusPanel->setEnabled(startUp || s.ReadingsCurrent());
        statusLamp->setEnabled(startUp || s.ReadingsCurrent());
    }
    if (changed & StateChange::AtuReadings) {
        swrReadout->setText(shown.swr);
        inductanceReadout->setText(view.inductanceUH.value
                                       ? Reports::InductanceCaption(*view.inductanceUH.value)
                                       : QString());
        capacitanceReadout->setText(view.capacitancePF.value
                                        ? Reports::CapacitanceCaption(*view.capacitancePF.value)
                                        : QString());
        forwardReadout->setText(shown.forward);
    }
    if ((changed & StateChange::AtuDiagram) && tuner.capacitorAtInput.has_value()) {
        capacitorAtInputDiagram->setVisible(*tuner.capacitorAtInput);
        capacitorAtOutputDiagram->setVisible(!*tuner.capacitorAtInput);
    }
    if ((changed & StateChange::SwrMin) && s.SwrMin >= 11)
        for (int i = 0; i < int(swrMinItems.size()); ++i)
            swrMinItems[std::size_t(i)]->setChecked(i == s.SwrMin - 11);
}

void AtuPanel::ShowLinkEvent(const LinkEvent &event) {
    if (event.kind == LinkEvent::Kind::TunerFitted)
        show();
    else if (event.kind == LinkEvent::Kind::TuneFinished)
        tuneButton->SetColor(clBtnFace);
}

void AtuPanel::ShowStartState() {
    capacitorAtInputDiagram->hide();
    capacitorAtOutputDiagram->hide();
    swrReadout->clear();
    inductanceReadout->clear();
    capacitanceReadout->clear();
    forwardReadout->hide();
    forwardCaption->hide();
    statusLamp->SetTrueColor(clYellow);
}
