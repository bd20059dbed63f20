// The main window's layout: group boxes, controls at fixed positions, the
// menu bar and the port list's pop-up menu.
#include "app/Unit1.h"

#include "app/StdControls.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
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
} // namespace

void TForm1::CreateControls() {
    auto *client = new QWidget(this);
    setCentralWidget(client);
    client->setFixedSize(571, 270);

    GroupBox3 = new QGroupBox(QStringLiteral("Power"), client);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(8, 8, 433, 153);

    GroupBox2 = new QGroupBox(QStringLiteral("COM Port"), client);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(456, 8, 105, 153);
    ComboBox1 = new QComboBox(GroupBox2);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 20, 89, 21);
    PopupMenu1 = new QMenu(ComboBox1);
    Refresh1 = AddItem(PopupMenu1, "Refresh1", QStringLiteral("Refresh"));
    ComboBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    openport = new TColorButton(GroupBox2);
    openport->setObjectName(QStringLiteral("openport"));
    openport->setGeometry(8, 48, 89, 25);
    openport->SetCaption(ConnectionCaption::Start);
    openport->SetLatching(true);
    openport->SetHotColor(clYellow);
    openport->SetDownColor(clLime);
    openport->SetHotFontColor(clRed);
    openport->SetDownFontColor(clBlack);
    closeport = new TColorButton(GroupBox2);
    closeport->setObjectName(QStringLiteral("closeport"));
    closeport->setGeometry(8, 80, 89, 25);
    closeport->SetCaption(QStringLiteral("Close Port"));
    closeport->SetLatching(true);
    closeport->SetHotColor(clYellow);
    closeport->SetDownColor(clRed);
    closeport->SetHotFontColor(clRed);
    closeport->SetDownFontColor(clWhite);

    GroupBox1 = new QGroupBox(QStringLiteral(" Band  (YAESU BCD)"), client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 168, 433, 97);
    for (int i = 0; i < 7; ++i) {
        Band[i] = new TShape(GroupBox1);
        Band[i]->setObjectName(QStringLiteral("Band%1").arg(i + 1));
        Band[i]->setGeometry(24 + 60 * i, 32, 25, 25);
        Band[i]->SetBrushColor(i == 6 ? clLime : clSilver);
    }

    Temp1 = new QGroupBox(QStringLiteral("Temperature"), client);
    Temp1->setObjectName(QStringLiteral("Temp1"));
    Temp1->setGeometry(456, 168, 105, 97);
    Temp2 = new QLabel(QStringLiteral(" ?"), Temp1);
    Temp2->setObjectName(QStringLiteral("Temp2"));
    Temp2->setGeometry(8, 20, 89, 70);
}

void TForm1::CreateMenus() {
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *file = bar->addMenu(QStringLiteral("File"));
    File1 = file->menuAction();
    File1->setObjectName(QStringLiteral("File1"));
    PortMonitor1 = AddItem(file, "PortMonitor1", QStringLiteral("Port Monitor"));
    ATUPanel1 = AddItem(file, "ATUPanel1", QStringLiteral("ATU Panel"));
    ATUPanel1->setEnabled(false);
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
    openport->onclick = [this](QObject *) { openportclick(); };
    closeport->onclick = [this](QObject *) { closeportclick(); };
    connect(ComboBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(ComboBox1->mapToGlobal(pos)); });
    connect(Refresh1, &QAction::triggered, this, [this] { Refresh1Click(); });
    connect(PortMonitor1, &QAction::triggered, this, [this] { PortMonitor1Click(); });
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    for (int i = 0; i < 7; ++i) {
        Band[i]->OnMouseDown = [this, i](Qt::MouseButton, int, int) { BandMouseDown(i + 1); };
        Band[i]->OnMouseMove = [this, i](int, int) { BandMouseMove(i + 1); };
    }
}
