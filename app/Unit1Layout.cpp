// The main window's layout: a fixed 571 x 270 client area with four group
// boxes and every control at its fixed position (relative to its group box),
// the menu bar and the port list's pop-up menu; and the wiring of the
// controls to their handlers.
#include "app/Unit1.h"

#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/Captions.h"
#include "widgets/ColorButton.h"
#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

namespace {
QAction *AddItem(QMenu *menu, const char *name, const QString &caption,
                 QActionGroup *group = nullptr) {
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    if (group) {
        a->setCheckable(true);
        group->addAction(a);
    }
    return a;
}

QActionGroup *RadioGroup(QObject *owner) {
    auto *g = new QActionGroup(owner);
    g->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    return g;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, int left, int top,
                  int width, int height, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(left, top, width, height);
    l->setAlignment(align);
    return l;
}

// The text colour of an enabled control; a disabled one shows greyed.
void SetTextColor(QWidget *w, TColor color) {
    QPalette p = w->palette();
    p.setColor(QPalette::Active, QPalette::WindowText, ToQColor(color));
    p.setColor(QPalette::Inactive, QPalette::WindowText, ToQColor(color));
    p.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(clGrayText));
    w->setPalette(p);
}

// A marker above the output bar: "q" of "Wingdings 3", an arrow pointing
// down at the bar. 16 pixels wide, so that the arrow's tip is 8 pixels right
// of the left edge: a left edge of X + 8 points at X on the bar.
QLabel *MakeMarker(QWidget *parent, const char *name, TColor color) {
    const QString family = QStringLiteral("Wingdings 3");
    QLabel *m = MakeLabel(parent, name, SubstituteGlyph(family, QLatin1Char('q')), 8, 19, 16, 13,
                          Qt::AlignHCenter | Qt::AlignBottom);
    m->setFont(SubstituteFontPixels(family, 13));
    SetTextColor(m, color);
    m->hide();
    return m;
}

// Where the scale's tick marks stand (left edges in the "Power" box).
constexpr int TickLeft[6] = {12, 95, 179, 262, 345, 412};
constexpr int TickWidth = 9;
} // namespace

void TForm1::CreateControls() {
    // A system menu, minimise and close, no maximise; the size is fixed.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->setFixedSize(571, 270);
    client->setFont(SubstituteFont(QStringLiteral("MS Sans Serif"), 8));
    SetTextColor(client, clPurple);

    // ---- "Power" ----------------------------------------------------------
    GroupBox3 = new QGroupBox(QStringLiteral("Power"), client);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(8, 8, 433, 153);

    Label13 = MakeLabel(GroupBox3, "Label13", QStringLiteral("Output"), 16, 17, 60, 13);
    output = new TBarMeter(GroupBox3);
    output->setObjectName(QStringLiteral("output"));
    output->setGeometry(16, 32, 401, 33);
    output->SetMin(0);
    output->SetMax(1200);
    output->SetPosition(0);
    output->SetShowPosText(false);
    output->setCursor(Qt::PointingHandCursor);
    output->setAccessibleName(QStringLiteral("Output power"));
    output->setAccessibleDescription(QStringLiteral("Arrow keys set the output level"));
    output->SetValueUnit(QStringLiteral("watts"));
    output->setFocusPolicy(Qt::TabFocus);

    const QString webdings = QStringLiteral("Webdings");
    const char *tickNames[6] = {"L0", "L250", "L500", "L750", "L1000", "L1200"};
    QLabel **ticks[6] = {&L0, &L250, &L500, &L750, &L1000, &L1200};
    for (int i = 0; i < 6; ++i) {
        *ticks[i] = MakeLabel(GroupBox3, tickNames[i], SubstituteGlyph(webdings, QLatin1Char('5')),
                              TickLeft[i], 66, TickWidth, 10, Qt::AlignHCenter | Qt::AlignTop);
        (*ticks[i])->setFont(SubstituteFontPixels(webdings, 9));
        (*ticks[i])->setAccessibleName(QStringLiteral("Scale mark"));
    }

    // The scale texts stand centred under their ticks; the two ends keep
    // inside the box.
    const QString scale[6] = {QStringLiteral("0W"),   QStringLiteral("250W"),
                              QStringLiteral("500W"), QStringLiteral("750W"),
                              QStringLiteral("1kW"),  QStringLiteral("1.2kW")};
    const char *scaleNames[6] = {"Label15", "Label16", "Label17", "Label18", "Label19", "Label20"};
    QLabel **scaleLabels[6] = {&Label15, &Label16, &Label17, &Label18, &Label19, &Label20};
    for (int i = 0; i < 6; ++i) {
        const int centre = TickLeft[i] + TickWidth / 2;
        QLabel *l;
        if (i == 0)
            l = MakeLabel(GroupBox3, scaleNames[i], scale[i], TickLeft[i], 76, 40, 13);
        else if (i == 5)
            l = MakeLabel(GroupBox3, scaleNames[i], scale[i], TickLeft[i] + TickWidth - 40, 76, 40,
                          13, Qt::AlignRight | Qt::AlignVCenter);
        else
            l = MakeLabel(GroupBox3, scaleNames[i], scale[i], centre - 20, 76, 40, 13,
                          Qt::AlignHCenter | Qt::AlignVCenter);
        *scaleLabels[i] = l;
        ScaleLabels[std::size_t(i)] = l;
    }

    ALC1 = MakeMarker(GroupBox3, "ALC1", clActiveCaption);
    ALC1->setAccessibleName(QStringLiteral("Output level mark"));
    P_max1 = MakeMarker(GroupBox3, "P_max1", clPurple);
    P_max1->setAccessibleName(QStringLiteral("Peak power mark"));

    Label14 = MakeLabel(GroupBox3, "Label14", QStringLiteral("Reverse"), 16, 90, 60, 13);
    swr = new TBarMeter(GroupBox3);
    swr->setObjectName(QStringLiteral("swr"));
    swr->setGeometry(16, 104, 105, 33);
    swr->SetMin(0);
    swr->SetMax(130);
    swr->SetPosition(0);
    swr->SetBarColorStyle(cs2Colors);
    swr->SetBarColor2(clRed);
    swr->SetShowPosText(false);
    swr->setAccessibleName(QStringLiteral("Reverse power"));
    swr->SetValueUnit(QStringLiteral("watts"));

    // The readouts and the transmit lamp lie under the PTT-block button,
    // which the dispatcher hides while the amplifier transmits.
    Label21 = MakeLabel(GroupBox3, "Label21", QStringLiteral("Power  Out:"), 168, 103, 70, 17);
    Label22 = MakeLabel(GroupBox3, "Label22", QStringLiteral("Power Max:"), 168, 121, 70, 17);
    QFont bold = client->font();
    bold.setBold(true);
    bold.setPointSize(10);
    P_out = MakeLabel(GroupBox3, "P_out", QString(), 240, 103, 80, 17,
                      Qt::AlignRight | Qt::AlignVCenter);
    P_out->setFont(bold);
    SetTextColor(P_out, clNavy);
    P_max_label = MakeLabel(GroupBox3, "P_max_label", QString(), 240, 121, 80, 17,
                            Qt::AlignRight | Qt::AlignVCenter);
    P_max_label->setFont(bold);
    SetTextColor(P_max_label, clMaroon);
    MakeReadout(P_out, QStringLiteral("Power out"));
    MakeReadout(P_max_label, QStringLiteral("Power max"));
    tx_led = new TLedLamp(GroupBox3);
    tx_led->setObjectName(QStringLiteral("tx_led"));
    tx_led->SetLEDStyle(LEDLarge);
    tx_led->SetTrueColor(clRed);
    tx_led->SetFalseColor(clLime);
    tx_led->SetBlink(false);
    tx_led->SetBordered(false);
    tx_led->setGeometry(379, 112, 22, 22);
    tx_led->setAccessibleName(QStringLiteral("Transmit"));
    tx_led->SetColorMeaning(clRed, QStringLiteral("transmitting"));
    tx_led->SetColorMeaning(clLime, QStringLiteral("receiving"));

    Panel1 = new TPanel(GroupBox3);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(160, 100, 257, 41);
    Panel1->SetCaption(PttCaption::Free);
    Panel1->SetColor(clLightGreen);
    Panel1->SetFontColor(clPurple);
    QFont panelFont = client->font();
    panelFont.setBold(true);
    panelFont.setPointSize(11);
    Panel1->setFont(panelFont);
    Panel1->setCursor(Qt::PointingHandCursor);
    Panel1->setFocusPolicy(Qt::TabFocus);
    Panel1->IsChecked = [this] { return Panel1->Caption() == PttCaption::Blocked; };
    Panel1->raise();

    // ---- "COM Port" ---------------------------------------------------------
    GroupBox2 = new QGroupBox(QStringLiteral("COM Port"), client);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(456, 8, 105, 153);
    ComboBox1 = new QComboBox(GroupBox2);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 20, 89, 21);
    ComboBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenu1 = new QMenu(ComboBox1);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Refresh1 = AddItem(PopupMenu1, "Refresh1", QStringLiteral("Refresh"));

    // Raised buttons in the button face colour; the connection captions
    // grow Open Port up to the group's inner width and no further.
    openport = new TColorButton(GroupBox2);
    openport->setObjectName(QStringLiteral("openport"));
    openport->setGeometry(8, 48, 89, 24);
    openport->setMaximumWidth(89);
    openport->SetCaption(ConnectionCaption::Start);
    openport->SetLatching(true);
    openport->SetFlat(false);
    openport->SetColor(clBtnFace);
    openport->SetHotColor(clYellow);
    openport->SetDownColor(clLime);
    openport->SetHotFontColor(clRed);
    openport->SetDownFontColor(clBlack);
    closeport = new TColorButton(GroupBox2);
    closeport->setObjectName(QStringLiteral("closeport"));
    closeport->setGeometry(8, 80, 89, 24);
    closeport->SetCaption(QStringLiteral("Close Port"));
    closeport->SetLatching(true);
    closeport->SetFlat(false);
    closeport->SetColor(clBtnFace);
    closeport->SetHotColor(clYellow);
    closeport->SetDownColor(clRed);
    closeport->SetHotFontColor(clRed);
    closeport->SetDownFontColor(clWhite);

    // The traffic lamps: RxD blinks while lit, TxD is steady red.
    rxLED = new TLedLamp(GroupBox2);
    rxLED->setObjectName(QStringLiteral("rxLED"));
    rxLED->SetBordered(false);
    rxLED->setGeometry(10, 120, 16, 16);
    rxLED->setAccessibleName(QStringLiteral("RxD"));
    rxLED->setAccessibleDescription(QStringLiteral("Flips with every line received"));
    RxDLabel = MakeLabel(GroupBox2, "RxDLabel", QStringLiteral("RxD"), 27, 120, 24, 16);
    txled = new TLedLamp(GroupBox2);
    txled->setObjectName(QStringLiteral("txled"));
    txled->SetBlink(false);
    txled->SetBordered(false);
    txled->SetTrueColor(clRed);
    txled->setGeometry(55, 120, 16, 16);
    txled->setAccessibleName(QStringLiteral("TxD"));
    txled->setAccessibleDescription(QStringLiteral("Flips with every line sent"));
    TxDLabel = MakeLabel(GroupBox2, "TxDLabel", QStringLiteral("TxD"), 72, 120, 24, 16);

    // ---- Band -------------------------------------------------------------
    GroupBox1 = new TGroupBox(QStringLiteral(" Band  (YAESU BCD)"), client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 168, 433, 97);
    for (int i = 0; i < 7; ++i) {
        Band[std::size_t(i)] = new TShape(GroupBox1);
        Band[std::size_t(i)]->setObjectName(QStringLiteral("Band%1").arg(i + 1));
        Band[std::size_t(i)]->setGeometry(24 + 60 * i, 32, 25, 25);
        Band[std::size_t(i)]->SetBrushColor(i == 6 ? clLime : clSilver);
    }
    // Label1 .. Label10 under the circles; circles 4 to 6 carry two bands.
    struct BandText {
        int circle; // 1..7
        int row;    // 0 first line, 1 second
        const char *text;
    };
    const BandText bandTexts[10] = {{1, 0, "160M"}, {2, 0, "80M"}, {3, 0, "40M"}, {4, 0, "30M"},
                                    {4, 1, "20M"},  {5, 0, "15M"}, {5, 1, "17M"}, {6, 0, "12M"},
                                    {6, 1, "10M"},  {7, 0, "6M"}};
    for (int i = 0; i < 10; ++i) {
        const BandText &t = bandTexts[i];
        const int centre = 24 + 60 * (t.circle - 1) + 12;
        const QByteArray name = "Label" + QByteArray::number(i + 1);
        BandLabels[std::size_t(i)] =
            MakeLabel(GroupBox1, name.constData(), QLatin1String(t.text), centre - 20,
                      60 + 14 * t.row, 41, 14, Qt::AlignHCenter | Qt::AlignVCenter);
        // Each circle is a choice named by its band or bands ("30M, 20M").
        TShape *circle = Band[std::size_t(t.circle - 1)];
        circle->setAccessibleName(circle->accessibleName().isEmpty()
                                      ? QLatin1String(t.text)
                                      : circle->accessibleName() + QStringLiteral(", ") +
                                            QLatin1String(t.text));
    }
    for (int i = 0; i < 7; ++i) {
        Band[std::size_t(i)]->setFocusPolicy(Qt::TabFocus);
        Band[std::size_t(i)]->IsChecked = [this, i] { return Link.State().CurrentBand == i + 1; };
    }

    // ---- "Temperature" ------------------------------------------------------
    Temp1 = new QGroupBox(QStringLiteral("Temperature"), client);
    Temp1->setObjectName(QStringLiteral("Temp1"));
    Temp1->setGeometry(456, 168, 105, 97);
    QPalette tempPalette = Temp1->palette();
    tempPalette.setColor(QPalette::Window, ToQColor(clLime));
    Temp1->setPalette(tempPalette);
    Temp1->setAutoFillBackground(true);
    Temp2 = MakeLabel(Temp1, "Temp2", QStringLiteral(" ?"), 2, 17, 82, 76,
                      Qt::AlignRight | Qt::AlignVCenter);
    QFont tempFont = SubstituteFontPixels(QStringLiteral("Arial"), 61);
    tempFont.setBold(true);
    Temp2->setFont(tempFont);
    const QString symbol = QStringLiteral("Symbol");
    Label25 = MakeLabel(Temp1, "Label25", SubstituteGlyph(symbol, QLatin1Char('O')), 84, 26, 18, 18,
                        Qt::AlignLeft | Qt::AlignTop);
    QFont degreeFont = SubstituteFontPixels(symbol, 15);
    degreeFont.setBold(true);
    Label25->setFont(degreeFont);
    Label25->setAccessibleName(QStringLiteral("degrees"));
    // Read as "Temperature 45 degrees", with the box's colour and its range.
    MakeReadout(Temp2, QStringLiteral("Temperature"), QStringLiteral("degrees"), Temp1,
                {{clLime, QStringLiteral("cool")},
                 {clYellow, QStringLiteral("warm")},
                 {clFuchsia, QStringLiteral("hot")},
                 {clRed, QStringLiteral("alarm")}});

    Announcer = new TAnnouncer(client);
    // Tab goes the way the operator works, round and round: port,
    // connection, PTT block, bands, the output level. The port list has the
    // focus when the window first becomes active.
    QWidget *tabOrder[] = {ComboBox1, openport, closeport, Panel1,  Band[0], Band[1],
                           Band[2],   Band[3],  Band[4],   Band[5], Band[6], output};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    ComboBox1->setFocus();
}

void TForm1::CreateMenus() {
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    // All eight menus must fit the fixed window width: a menu pushed into
    // the bar's overflow button would be out of the operator's sight.
    bar->setFont(SubstituteFont(QStringLiteral("MS Sans Serif"), 8));
    bar->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 4px; }"));

    QMenu *file = bar->addMenu(QStringLiteral("File"));
    File1 = file->menuAction();
    File1->setObjectName(QStringLiteral("File1"));
    PortMonitor1 = AddItem(file, "PortMonitor1", QStringLiteral("Port Monitor"));
    ATUPanel1 = AddItem(file, "ATUPanel1", QStringLiteral("ATU Panel"));
    ATUPanel1->setEnabled(false);
    NetworkPort1 = AddItem(file, "NetworkPort1", QStringLiteral("Network port\u2026"));
    file->addSeparator();
    AutoReconnect1 = AddItem(file, "AutoReconnect1", QStringLiteral("Reconnect automatically"));
    AutoReconnect1->setCheckable(true);
    file->addSeparator();
    QMenu *paType = file->addMenu(QStringLiteral("PA Type"));
    PAType1 = paType->menuAction();
    PAType1->setObjectName(QStringLiteral("PAType1"));
    QActionGroup *pa = RadioGroup(this);
    N12kW1 = AddItem(paType, "N12kW1", QStringLiteral("1 kW or 1.2 kW"), pa);
    N12kW1->setChecked(true);
    N24kW1 = AddItem(paType, "N24kW1", QStringLiteral("2.4 kW"), pa);
    file->addSeparator();
    Exit1 = AddItem(file, "Exit1", QStringLiteral("Exit"));

    QMenu *fan = bar->addMenu(QStringLiteral("Fan characteristics"));
    Fancharacteristic1 = fan->menuAction();
    Fancharacteristic1->setObjectName(QStringLiteral("Fancharacteristic1"));
    QActionGroup *fanGroup = RadioGroup(this);
    N501 = AddItem(fan, "N501", QStringLiteral("50%"), fanGroup);
    Max1 = AddItem(fan, "Max1", QStringLiteral("Max"), fanGroup);
    Hysteresis1 = AddItem(fan, "Hysteresis1", QStringLiteral("Hysteresis"), fanGroup);
    Fixed1 = AddItem(fan, "Fixed1", QStringLiteral("Fixed"), fanGroup);

    QMenu *intf = bar->addMenu(QStringLiteral("Interface"));
    Interface1 = intf->menuAction();
    Interface1->setObjectName(QStringLiteral("Interface1"));
    QActionGroup *intfGroup = RadioGroup(this);
    YAESUBCD1 = AddItem(intf, "YAESUBCD1", QStringLiteral("YAESU (BCD)"), intfGroup);
    YAESUFT8171 = AddItem(intf, "YAESUFT8171", QStringLiteral("YAESU FT817"), intfGroup);
    ICOM1 = AddItem(intf, "ICOM1", QStringLiteral("ICOM"), intfGroup);
    Kenwood1 = AddItem(intf, "Kenwood1", QStringLiteral("Kenwood"), intfGroup);
    OTRSP1 = AddItem(intf, "OTRSP1", QStringLiteral("OTRSP"), intfGroup);
    Flex1 = AddItem(intf, "Flex1", QStringLiteral("Flex"), intfGroup);
    intf->addSeparator();
    Manual1 = AddItem(intf, "Manual1", QStringLiteral("Manual"), intfGroup);

    QMenu *alarm = bar->addMenu(QStringLiteral("Alarm Indication"));
    AlarmIndication1 = alarm->menuAction();
    AlarmIndication1->setObjectName(QStringLiteral("AlarmIndication1"));
    QActionGroup *alarmGroup = RadioGroup(this);
    CWbybuzzer1 = AddItem(alarm, "CWbybuzzer1", QStringLiteral("CW by buzzer"), alarmGroup);
    Buzzer1 = AddItem(alarm, "Buzzer1", QStringLiteral("Buzzer"), alarmGroup);
    Nosound1 = AddItem(alarm, "Nosound1", QStringLiteral("No sound"), alarmGroup);

    QMenu *input = bar->addMenu(QStringLiteral("Input Power"));
    InputPower1 = input->menuAction();
    InputPower1->setObjectName(QStringLiteral("InputPower1"));
    QActionGroup *inputGroup = RadioGroup(this);
    N4W1 = AddItem(input, "N4W1", QStringLiteral("< 4W"), inputGroup);
    N60W1 = AddItem(input, "N60W1", QStringLiteral("~60W"), inputGroup);
    N4W1->setEnabled(false);
    N60W1->setEnabled(false);

    QMenu *barMenu = bar->addMenu(QStringLiteral("Power bargraph"));
    Barreaction1 = barMenu->menuAction();
    Barreaction1->setObjectName(QStringLiteral("Barreaction1"));
    QActionGroup *barGroup = RadioGroup(this);
    Veryslow1 = AddItem(barMenu, "Veryslow1", QStringLiteral("Very slow"), barGroup);
    Slow1 = AddItem(barMenu, "Slow1", QStringLiteral("Slow"), barGroup);
    Fast1 = AddItem(barMenu, "Fast1", QStringLiteral("Fast"), barGroup);
    Veryfast1 = AddItem(barMenu, "Veryfast1", QStringLiteral("Very fast"), barGroup);

    QMenu *tot = bar->addMenu(QStringLiteral("TOT"));
    TOT1 = tot->menuAction();
    TOT1->setObjectName(QStringLiteral("TOT1"));
    QActionGroup *totGroup = RadioGroup(this);
    Off1 = AddItem(tot, "Off1", QStringLiteral("Off"), totGroup);
    N5min1 = AddItem(tot, "N5min1", QStringLiteral("5 min"), totGroup);
    N15min1 = AddItem(tot, "N15min1", QStringLiteral("15 min"), totGroup);
    N30min1 = AddItem(tot, "N30min1", QStringLiteral("30 min"), totGroup);

    About1 = bar->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));
}

void TForm1::ConnectHandlers() {
    // Every handler runs guarded: an exception that escapes it (a send on a
    // closed port) is shown in the standard error box instead of ending the
    // program, whichever event loop delivered the event.
    auto guard = [](auto handler) { return [handler](auto &&...) { Runtime::Guarded(handler); }; };
    auto onTrigger = [this, guard](QAction *item, void (TForm1::*handler)()) {
        connect(item, &QAction::triggered, this, guard([this, handler] { (this->*handler)(); }));
    };

    openport->onclick = guard([this] { openportclick(); });
    openport->onlatch = [this](QObject *) { OpenPortFollowsState(); };
    closeport->onclick = guard([this] { closeportclick(); });
    connect(ComboBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(ComboBox1->mapToGlobal(pos)); });
    onTrigger(Refresh1, &TForm1::Refresh1Click);
    // A double click on the port list, closed or dropped down, refills it.
    // The list is closed first so that the click cannot select an entry.
    auto *dblClick = new TDblClickHook(ComboBox1);
    dblClick->OnDblClick = guard([this] {
        if (!ComboBox1->isEnabled())
            return;
        ComboBox1->hidePopup();
        ComboBox1DblClick();
    });
    dblClick->Watch(ComboBox1);
    dblClick->Watch(ComboBox1->view());
    dblClick->Watch(ComboBox1->view()->viewport());

    for (int i = 0; i < 7; ++i) {
        TShape *circle = Band[std::size_t(i)];
        circle->OnMouseDown = guard([this, i] { BandMouseDown(i + 1); });
        circle->OnMouseMove = guard([this, i] { BandMouseMove(i + 1); });
        circle->OnKeyDown = [this, i](int key) {
            bool used = false;
            Runtime::Guarded([&] { used = BandKeyDown(i + 1, key); });
            return used;
        };
    }
    static_cast<TGroupBox *>(GroupBox1)->OnMouseMove = guard([this] { GroupBox1MouseMove(); });
    output->OnMouseDown = [this](QObject *, Qt::MouseButton, Qt::KeyboardModifiers, int X, int) {
        Runtime::Guarded([this, X] { outputMouseDown(X); });
    };
    output->OnKeyDown = [this](QObject *, int key, Qt::KeyboardModifiers) {
        bool used = false;
        Runtime::Guarded([&] { used = outputKeyDown(key); });
        return used;
    };
    Panel1->OnClick = guard([this] { Panel1Click(); });

    onTrigger(PortMonitor1, &TForm1::PortMonitor1Click);
    onTrigger(ATUPanel1, &TForm1::ATUPanel1Click);
    onTrigger(NetworkPort1, &TForm1::NetworkPort1Click);
    onTrigger(N12kW1, &TForm1::N12kW1Click);
    onTrigger(N24kW1, &TForm1::N24kW1Click);
    onTrigger(Exit1, &TForm1::Exit1Click);
    onTrigger(AutoReconnect1, &TForm1::AutoReconnect1Click);
    onTrigger(N501, &TForm1::N501Click);
    onTrigger(Max1, &TForm1::Max1Click);
    onTrigger(Hysteresis1, &TForm1::Hysteresis1Click);
    onTrigger(Fixed1, &TForm1::Fixed1Click);
    onTrigger(YAESUBCD1, &TForm1::YAESUBCD1Click);
    onTrigger(YAESUFT8171, &TForm1::YAESUFT8171Click);
    onTrigger(ICOM1, &TForm1::ICOM1Click);
    onTrigger(Kenwood1, &TForm1::Kenwood1Click);
    onTrigger(OTRSP1, &TForm1::OTRSP1Click);
    onTrigger(Flex1, &TForm1::Flex1Click);
    onTrigger(Manual1, &TForm1::Manual1Click);
    onTrigger(CWbybuzzer1, &TForm1::CWbybuzzer1Click);
    onTrigger(Buzzer1, &TForm1::Buzzer1Click);
    onTrigger(Nosound1, &TForm1::Nosound1Click);
    onTrigger(Veryslow1, &TForm1::Veryslow1Click);
    onTrigger(Slow1, &TForm1::Slow1Click);
    onTrigger(Fast1, &TForm1::Fast1Click);
    onTrigger(Veryfast1, &TForm1::Veryfast1Click);
    onTrigger(Off1, &TForm1::Off1Click);
    onTrigger(N5min1, &TForm1::N5min1Click);
    onTrigger(N15min1, &TForm1::N15min1Click);
    onTrigger(N30min1, &TForm1::N30min1Click);
    onTrigger(About1, &TForm1::About1Click);
}
