// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout: a fixed 571 x 270 client area with four group
// boxes and every control at its fixed position (relative to its group box),
// the menu bar and the port list's pop-up menu.
#include "app/MainWindow.h"

#include "link/StatusView.h"

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

void MainWindow::CreateControls() {
    // A system menu, minimise and close, no maximise; the size is fixed.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    QWidget *client = CreateClientArea();
    CreatePowerBox(client);
    CreatePortBox(client);
    CreateBandBox(client);
    CreateTemperatureBox(client);
    announcer = new TAnnouncer(client);
    ChainTabOrder();
}

QWidget *MainWindow::CreateClientArea() {
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->setFixedSize(571, 270);
    client->setFont(SubstituteFont(QStringLiteral("MS Sans Serif"), 8));
    SetTextColor(client, clPurple);
    return client;
}

// ---- "Power" --------------------------------------------------------------
void MainWindow::CreatePowerBox(QWidget *client) {
    powerBox = new TGroupBox(QStringLiteral("Power"), client);
    powerBox->setObjectName(QStringLiteral("GroupBox3"));
    powerBox->setGeometry(8, 8, 433, 153);
    // The readouts inside change with every report while transmitting.
    powerBox->KeepFrame();

    CreateOutputMeter();
    CreatePowerScale();

    outputLevelMark = MakeMarker(powerBox, "ALC1", clActiveCaption);
    outputLevelMark->setAccessibleName(QStringLiteral("Output level mark"));
    peakMark = MakeMarker(powerBox, "P_max1", clPurple);
    peakMark->setAccessibleName(QStringLiteral("Peak power mark"));

    CreateReverseMeter();
    CreatePowerReadouts(client->font());
    CreatePttBlockButton(client->font());
}

void MainWindow::CreateOutputMeter() {
    MakeLabel(powerBox, "Label13", QStringLiteral("Output"), 16, 17, 60, 13);
    outputMeter = new TBarMeter(powerBox);
    outputMeter->setObjectName(QStringLiteral("output"));
    outputMeter->setGeometry(16, 32, 401, 33);
    outputMeter->SetMin(0);
    outputMeter->SetMax(1200);
    outputMeter->SetPosition(0);
    outputMeter->SetShowPosText(false);
    outputMeter->setCursor(Qt::PointingHandCursor);
    outputMeter->setAccessibleName(QStringLiteral("Output power"));
    outputMeter->setAccessibleDescription(
        QStringLiteral("Arrow keys choose an output level, Enter sets it"));
    outputMeter->SetValueUnit(QStringLiteral("watts"));
    // A click takes the focus too, so that the keys act where the operator looks.
    outputMeter->setFocusPolicy(Qt::StrongFocus);
}

void MainWindow::CreatePowerScale() {
    const QString webdings = QStringLiteral("Webdings");
    const char *tickNames[6] = {"L0", "L250", "L500", "L750", "L1000", "L1200"};
    for (int i = 0; i < 6; ++i) {
        QLabel *tick =
            MakeLabel(powerBox, tickNames[i], SubstituteGlyph(webdings, QLatin1Char('5')),
                      TickLeft[i], 66, TickWidth, 10, Qt::AlignHCenter | Qt::AlignTop);
        tick->setFont(SubstituteFontPixels(webdings, 9));
        tick->setAccessibleName(QStringLiteral("Scale mark"));
    }

    // The scale texts stand centred under their ticks; the two ends keep
    // inside the box.
    const QString scale[6] = {QStringLiteral("0W"),   QStringLiteral("250W"),
                              QStringLiteral("500W"), QStringLiteral("750W"),
                              QStringLiteral("1kW"),  QStringLiteral("1.2kW")};
    const char *scaleNames[6] = {"Label15", "Label16", "Label17", "Label18", "Label19", "Label20"};
    for (int i = 0; i < 6; ++i) {
        const int centre = TickLeft[i] + TickWidth / 2;
        QLabel *l;
        if (i == 0)
            l = MakeLabel(powerBox, scaleNames[i], scale[i], TickLeft[i], 76, 40, 13);
        else if (i == 5)
            l = MakeLabel(powerBox, scaleNames[i], scale[i], TickLeft[i] + TickWidth - 40, 76, 40,
                          13, Qt::AlignRight | Qt::AlignVCenter);
        else
            l = MakeLabel(powerBox, scaleNames[i], scale[i], centre - 20, 76, 40, 13,
                          Qt::AlignHCenter | Qt::AlignVCenter);
        scaleLabels[std::size_t(i)] = l;
    }
}

void MainWindow::CreateReverseMeter() {
    MakeLabel(powerBox, "Label14", QStringLiteral("Reverse"), 16, 90, 60, 13);
    reverseMeter = new TBarMeter(powerBox);
    reverseMeter->setObjectName(QStringLiteral("swr"));
    reverseMeter->setGeometry(16, 104, 105, 33);
    reverseMeter->SetMin(0);
    reverseMeter->SetMax(130);
    reverseMeter->SetPosition(0);
    reverseMeter->SetBarColorStyle(cs2Colors);
    reverseMeter->SetBarColor2(clRed);
    reverseMeter->SetShowPosText(false);
    reverseMeter->setAccessibleName(QStringLiteral("Reverse power"));
    reverseMeter->SetValueUnit(QStringLiteral("watts"));
}

void MainWindow::CreatePowerReadouts(const QFont &font) {
    // The readouts and the transmit lamp lie under the PTT-block button,
    // which the dispatcher hides while the amplifier transmits.
    MakeLabel(powerBox, "Label21", QStringLiteral("Power  Out:"), 168, 103, 70, 17);
    MakeLabel(powerBox, "Label22", QStringLiteral("Power Max:"), 168, 121, 70, 17);
    QFont bold = font;
    bold.setBold(true);
    bold.setPointSize(10);
    outputReadout = MakeLabel(powerBox, "P_out", QString(), 240, 103, 80, 17,
                              Qt::AlignRight | Qt::AlignVCenter);
    outputReadout->setFont(bold);
    SetTextColor(outputReadout, clNavy);
    peakReadout = MakeLabel(powerBox, "P_max_label", QString(), 240, 121, 80, 17,
                            Qt::AlignRight | Qt::AlignVCenter);
    peakReadout->setFont(bold);
    SetTextColor(peakReadout, clMaroon);
    MakeReadout(outputReadout, QStringLiteral("Power out"));
    MakeReadout(peakReadout, QStringLiteral("Power max"));
    transmitLamp = new TLedLamp(powerBox);
    transmitLamp->setObjectName(QStringLiteral("tx_led"));
    transmitLamp->SetLEDStyle(LEDLarge);
    transmitLamp->SetTrueColor(clRed);
    transmitLamp->SetFalseColor(clLime);
    transmitLamp->SetBlink(false);
    transmitLamp->SetBordered(false);
    transmitLamp->setGeometry(379, 112, 22, 22);
    transmitLamp->setAccessibleName(QStringLiteral("Transmit"));
    transmitLamp->SetColorMeaning(clRed, QStringLiteral("transmitting"));
    transmitLamp->SetColorMeaning(clLime, QStringLiteral("receiving"));
}

void MainWindow::CreatePttBlockButton(const QFont &font) {
    pttBlockButton = new TPanel(powerBox);
    pttBlockButton->setObjectName(QStringLiteral("Panel1"));
    pttBlockButton->setGeometry(160, 100, 257, 41);
    pttBlockButton->SetCaption(PttCaption::Free);
    pttBlockButton->SetColor(clLightGreen);
    pttBlockButton->SetFontColor(clPurple);
    QFont panelFont = font;
    panelFont.setBold(true);
    panelFont.setPointSize(11);
    pttBlockButton->setFont(panelFont);
    pttBlockButton->setCursor(Qt::PointingHandCursor);
    pttBlockButton->setFocusPolicy(Qt::StrongFocus);
    pttBlockButton->IsChecked = [this] { return Link.State().PttBlockedHere(); };
    pttBlockButton->raise();
}

// ---- "COM Port" -----------------------------------------------------------
void MainWindow::CreatePortBox(QWidget *client) {
    auto *portBox = new QGroupBox(QStringLiteral("COM Port"), client);
    portBox->setObjectName(QStringLiteral("GroupBox2"));
    portBox->setGeometry(456, 8, 105, 153);
    portList = new QComboBox(portBox);
    portList->setObjectName(QStringLiteral("ComboBox1"));
    portList->setGeometry(8, 20, 89, 21);
    portList->setContextMenuPolicy(Qt::CustomContextMenu);
    portListMenu = new QMenu(portList);
    portListMenu->setObjectName(QStringLiteral("PopupMenu1"));
    refreshAction = AddItem(portListMenu, "Refresh1", QStringLiteral("Refresh"));

    // Raised buttons in the button face colour; the connection captions
    // grow Open Port up to the group's inner width and no further.
    openPortButton = new TColorButton(portBox);
    openPortButton->setObjectName(QStringLiteral("openport"));
    openPortButton->setGeometry(8, 48, 89, 24);
    openPortButton->setMaximumWidth(89);
    openPortButton->SetCaption(ConnectionCaption::Start);
    openPortButton->SetLatching(true);
    openPortButton->SetFlat(false);
    openPortButton->SetColor(clBtnFace);
    openPortButton->SetHotColor(clYellow);
    openPortButton->SetDownColor(clLime);
    openPortButton->SetHotFontColor(clRed);
    openPortButton->SetDownFontColor(clBlack);
    closePortButton = new TColorButton(portBox);
    closePortButton->setObjectName(QStringLiteral("closeport"));
    closePortButton->setGeometry(8, 80, 89, 24);
    closePortButton->SetCaption(QStringLiteral("Close Port"));
    closePortButton->SetLatching(true);
    closePortButton->SetFlat(false);
    closePortButton->SetColor(clBtnFace);
    closePortButton->SetHotColor(clYellow);
    closePortButton->SetDownColor(clRed);
    closePortButton->SetHotFontColor(clRed);
    closePortButton->SetDownFontColor(clWhite);

    // The traffic lamps: RxD blinks while lit, TxD is steady red.
    rxdLamp = new TLedLamp(portBox);
    rxdLamp->setObjectName(QStringLiteral("rxLED"));
    rxdLamp->SetBordered(false);
    rxdLamp->setGeometry(10, 120, 16, 16);
    rxdLamp->setAccessibleName(QStringLiteral("RxD"));
    rxdLamp->setAccessibleDescription(QStringLiteral("Flips with every line received"));
    MakeLabel(portBox, "RxDLabel", QStringLiteral("RxD"), 27, 120, 24, 16);
    txdLamp = new TLedLamp(portBox);
    txdLamp->setObjectName(QStringLiteral("txled"));
    txdLamp->SetBlink(false);
    txdLamp->SetBordered(false);
    txdLamp->SetTrueColor(clRed);
    txdLamp->setGeometry(55, 120, 16, 16);
    txdLamp->setAccessibleName(QStringLiteral("TxD"));
    txdLamp->setAccessibleDescription(QStringLiteral("Flips with every line sent"));
    MakeLabel(portBox, "TxDLabel", QStringLiteral("TxD"), 72, 120, 24, 16);
}

// ---- Band ---------------------------------------------------------------
void MainWindow::CreateBandBox(QWidget *client) {
    bandBox = new TGroupBox(QStringLiteral(" Band  (YAESU BCD)"), client);
    bandBox->setObjectName(QStringLiteral("GroupBox1"));
    bandBox->setGeometry(8, 168, 433, 97);
    for (int i = 0; i < 7; ++i) {
        bandCircles[std::size_t(i)] = new TShape(bandBox);
        bandCircles[std::size_t(i)]->setObjectName(QStringLiteral("Band%1").arg(i + 1));
        bandCircles[std::size_t(i)]->setGeometry(24 + 60 * i, 32, 25, 25);
        bandCircles[std::size_t(i)]->SetBrushColor(i == 6 ? clLime : clSilver);
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
        bandLabels[std::size_t(i)] =
            MakeLabel(bandBox, name.constData(), QLatin1String(t.text), centre - 20,
                      60 + 14 * t.row, 41, 14, Qt::AlignHCenter | Qt::AlignVCenter);
        // Each circle is a choice named by its band or bands ("30M, 20M").
        TShape *circle = bandCircles[std::size_t(t.circle - 1)];
        circle->setAccessibleName(circle->accessibleName().isEmpty()
                                      ? QLatin1String(t.text)
                                      : circle->accessibleName() + QStringLiteral(", ") +
                                            QLatin1String(t.text));
    }
    for (int i = 0; i < 7; ++i) {
        bandCircles[std::size_t(i)]->setFocusPolicy(Qt::StrongFocus);
        bandCircles[std::size_t(i)]->IsChecked = [this, i] {
            return BandShown(ViewOf(Link.State())) == i + 1;
        };
    }
}

// ---- "Temperature" --------------------------------------------------------
void MainWindow::CreateTemperatureBox(QWidget *client) {
    temperatureBox = new QGroupBox(QStringLiteral("Temperature"), client);
    temperatureBox->setObjectName(QStringLiteral("Temp1"));
    temperatureBox->setGeometry(456, 168, 105, 97);
    QPalette tempPalette = temperatureBox->palette();
    tempPalette.setColor(QPalette::Window, ToQColor(clLime));
    temperatureBox->setPalette(tempPalette);
    temperatureBox->setAutoFillBackground(true);
    temperatureReadout = MakeLabel(temperatureBox, "Temp2", QStringLiteral(" ?"), 2, 17, 82, 76,
                                   Qt::AlignRight | Qt::AlignVCenter);
    QFont tempFont = SubstituteFontPixels(QStringLiteral("Arial"), 61);
    tempFont.setBold(true);
    temperatureReadout->setFont(tempFont);
    const QString symbol = QStringLiteral("Symbol");
    degreeSign = MakeLabel(temperatureBox, "Label25", SubstituteGlyph(symbol, QLatin1Char('O')), 84,
                           26, 18, 18, Qt::AlignLeft | Qt::AlignTop);
    QFont degreeFont = SubstituteFontPixels(symbol, 15);
    degreeFont.setBold(true);
    degreeSign->setFont(degreeFont);
    degreeSign->setAccessibleName(QStringLiteral("degrees"));
    // Read as "Temperature 45 degrees", with the box's colour and its range.
    MakeReadout(temperatureReadout, QStringLiteral("Temperature"), QStringLiteral("degrees"),
                temperatureBox,
                {{clLime, QStringLiteral("cool")},
                 {clYellow, QStringLiteral("warm")},
                 {clFuchsia, QStringLiteral("hot")},
                 {clRed, QStringLiteral("alarm")}});
}

void MainWindow::ChainTabOrder() {
    // Tab goes the way the operator works, round and round: port,
    // connection, PTT block, bands, the output level. The port list has the
    // focus when the window first becomes active.
    QWidget *tabOrder[] = {portList,       openPortButton, closePortButton, pttBlockButton,
                           bandCircles[0], bandCircles[1], bandCircles[2],  bandCircles[3],
                           bandCircles[4], bandCircles[5], bandCircles[6],  outputMeter};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    portList->setFocus();
}

void MainWindow::CreateMenus() {
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    // All eight menus must fit the fixed window width: a menu pushed into
    // the bar's overflow button would be out of the operator's sight.
    bar->setFont(SubstituteFont(QStringLiteral("MS Sans Serif"), 8));
    bar->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 4px; }"));
    // A menu of the bar (or a submenu) with its layout name.
    auto addMenu = [](auto *owner, const char *name, const QString &title) {
        QMenu *menu = owner->addMenu(title);
        menu->menuAction()->setObjectName(QLatin1String(name));
        return menu;
    };

    QMenu *file = addMenu(bar, "File1", QStringLiteral("File"));
    portMonitorAction = AddItem(file, "PortMonitor1", QStringLiteral("Port Monitor"));
    atuPanelAction = AddItem(file, "ATUPanel1", QStringLiteral("ATU Panel"));
    atuPanelAction->setEnabled(false);
    historyAction = AddItem(file, "History1", QStringLiteral("History"));
    historyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    networkPortAction = AddItem(file, "NetworkPort1", QStringLiteral("Network port\u2026"));
    file->addSeparator();
    autoReconnectAction =
        AddItem(file, "AutoReconnect1", QStringLiteral("Reconnect automatically"));
    autoReconnectAction->setCheckable(true);
    file->addSeparator();
    QMenu *paType = addMenu(file, "PAType1", QStringLiteral("PA Type"));
    QActionGroup *pa = RadioGroup(this);
    pa12kWAction = AddItem(paType, "N12kW1", QStringLiteral("1 kW or 1.2 kW"), pa);
    pa12kWAction->setChecked(true);
    pa24kWAction = AddItem(paType, "N24kW1", QStringLiteral("2.4 kW"), pa);
    file->addSeparator();
    exitAction = AddItem(file, "Exit1", QStringLiteral("Exit"));

    QMenu *fan = addMenu(bar, "Fancharacteristic1", QStringLiteral("Fan characteristics"));
    QActionGroup *fanGroup = RadioGroup(this);
    fanItems = {AddItem(fan, "N501", QStringLiteral("50%"), fanGroup),
                AddItem(fan, "Max1", QStringLiteral("Max"), fanGroup),
                AddItem(fan, "Hysteresis1", QStringLiteral("Hysteresis"), fanGroup),
                AddItem(fan, "Fixed1", QStringLiteral("Fixed"), fanGroup)};

    // In menu order; the amplifier numbers them 1, 2, 3, 4, 6, 7 and 5.
    QMenu *intf = addMenu(bar, "Interface1", QStringLiteral("Interface"));
    QActionGroup *intfGroup = RadioGroup(this);
    interfaceItems[0] = AddItem(intf, "YAESUBCD1", QStringLiteral("YAESU (BCD)"), intfGroup);
    interfaceItems[1] = AddItem(intf, "YAESUFT8171", QStringLiteral("YAESU FT817"), intfGroup);
    interfaceItems[2] = AddItem(intf, "ICOM1", QStringLiteral("ICOM"), intfGroup);
    interfaceItems[3] = AddItem(intf, "Kenwood1", QStringLiteral("Kenwood"), intfGroup);
    interfaceItems[5] = AddItem(intf, "OTRSP1", QStringLiteral("OTRSP"), intfGroup);
    interfaceItems[6] = AddItem(intf, "Flex1", QStringLiteral("Flex"), intfGroup);
    intf->addSeparator();
    interfaceItems[ManualInterface - 1] =
        AddItem(intf, "Manual1", QStringLiteral("Manual"), intfGroup);

    QMenu *alarm = addMenu(bar, "AlarmIndication1", QStringLiteral("Alarm Indication"));
    QActionGroup *alarmGroup = RadioGroup(this);
    alarmSoundItems = {AddItem(alarm, "CWbybuzzer1", QStringLiteral("CW by buzzer"), alarmGroup),
                       AddItem(alarm, "Buzzer1", QStringLiteral("Buzzer"), alarmGroup),
                       AddItem(alarm, "Nosound1", QStringLiteral("No sound"), alarmGroup)};

    // The operator cannot choose the input power class: the amplifier reports it.
    QMenu *input = addMenu(bar, "InputPower1", QStringLiteral("Input Power"));
    QActionGroup *inputGroup = RadioGroup(this);
    inputPowerItems = {AddItem(input, "N4W1", QStringLiteral("< 4W"), inputGroup),
                       AddItem(input, "N60W1", QStringLiteral("~60W"), inputGroup)};
    for (QAction *item : inputPowerItems)
        item->setEnabled(false);

    QMenu *barMenu = addMenu(bar, "Barreaction1", QStringLiteral("Power bargraph"));
    QActionGroup *barGroup = RadioGroup(this);
    barSpeedItems = {AddItem(barMenu, "Veryslow1", QStringLiteral("Very slow"), barGroup),
                     AddItem(barMenu, "Slow1", QStringLiteral("Slow"), barGroup),
                     AddItem(barMenu, "Fast1", QStringLiteral("Fast"), barGroup),
                     AddItem(barMenu, "Veryfast1", QStringLiteral("Very fast"), barGroup)};

    QMenu *tot = addMenu(bar, "TOT1", QStringLiteral("TOT"));
    QActionGroup *totGroup = RadioGroup(this);
    totItems = {AddItem(tot, "Off1", QStringLiteral("Off"), totGroup),
                AddItem(tot, "N5min1", QStringLiteral("5 min"), totGroup),
                AddItem(tot, "N15min1", QStringLiteral("15 min"), totGroup),
                AddItem(tot, "N30min1", QStringLiteral("30 min"), totGroup)};

    aboutAction = bar->addAction(QStringLiteral("About"));
    aboutAction->setObjectName(QStringLiteral("About1"));
}
