// The reply dispatcher inside the main window: each report's value, state,
// controls and monitor entries; ordering rules; identification; the limits
// on the monitor and on unfinished lines.
#include "app/Alarms.h"
#include "app/Runtime.h"
#include "app/StdControls.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "tests/common/PtyPeer.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

QString ColorName(TColor c) {
    const std::pair<TColor, const char *> names[] = {
        {clLime, "clLime"},           {clSilver, "clSilver"},    {clYellow, "clYellow"},
        {clFuchsia, "clFuchsia"},     {clRed, "clRed"},          {clBtnFace, "clBtnFace"},
        {clLightGreen, "lightgreen"}, {clAlertPink, "alertpink"}};
    for (const auto &[value, name] : names)
        if (value == c)
            return QLatin1String(name);
    return QString::number(c, 16);
}

QString ColorName(const QColor &q) {
    const TColor all[] = {clLime, clSilver, clYellow, clFuchsia, clRed};
    for (TColor c : all)
        if (ToQColor(c) == q)
            return ColorName(c);
    return q.name();
}

// Test data is written as UTF-8 literals.
QStringList S(std::initializer_list<const char *> texts) {
    QStringList out;
    for (const char *t : texts)
        out << QString::fromUtf8(t);
    return out;
}

QString Flag(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

class TestDispatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void reports_data();
    void reports();
    void conversionErrorKeepsTheRest();
    void reportsIgnoredBeforeIdentification();
    void identificationSendsBurst();
    void interpretedAfterReconnect();
    void monitorEmptiedAbove500();
    void splitReportHandledWhole();
    void overlongGarbageLoggedOnce();
    void bytesKeptIntact();
    void alarmsShownAndCleared();
    void pmaxAndAlcPlacement();

private:
    void feed(const QByteArray &bytes) { form->SerialPortReceive(form->SerialPort, bytes); }
    QStringList monitor() const;
    void clearMonitor() { w().Form2->Memo1->clear(); }
    QString probe(const QString &name) const;
    TWindows &w() const { return windows->windows(); }
    void openToPeer();

    std::unique_ptr<TWindowSet> windows;
    std::unique_ptr<PtyPeer> peer;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};

void TestDispatcher::init() {
    boxes.clear();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
    windows = std::make_unique<TWindowSet>();
    form = w().Form1;
    form->Timer1->setInterval(24 * 3600 * 1000);
    form->Timer2->setInterval(24 * 3600 * 1000);
    w().Fatu1->Timer1->setInterval(24 * 3600 * 1000);
    form->Session.PaIdentified = true;
    clearMonitor();
}

void TestDispatcher::cleanup() {
    windows.reset();
    peer.reset();
    form = nullptr;
    Runtime::SetMessageHandler(nullptr);
}

QStringList TestDispatcher::monitor() const {
    QStringList lines = w().Form2->Lines();
    if (lines.size() == 1 && lines.at(0).isEmpty())
        lines.clear();
    return lines;
}

void TestDispatcher::openToPeer() {
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->ok());
    form->ComboBox1->addItem(peer->devicePath());
    form->ComboBox1->setCurrentIndex(form->ComboBox1->count() - 1);
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
}

// The observable state a report may change, by name.
QString TestDispatcher::probe(const QString &name) const {
    const TFatu1 *atu = w().Fatu1;
    const TSession &s = form->Session;
    if (name == QStringLiteral("Temp2"))
        return form->Temp2->text();
    if (name == QStringLiteral("Temp1"))
        return ColorName(form->Temp1->palette().color(QPalette::Window));
    if (name == QStringLiteral("CurrentBand"))
        return QString::number(s.CurrentBand);
    if (name == QStringLiteral("bands")) {
        QString out;
        for (const TShape *b : form->Band)
            out += b->BrushColor() == clLime     ? QLatin1Char('L')
                   : b->BrushColor() == clSilver ? QLatin1Char('S')
                                                 : QLatin1Char('?');
        return out;
    }
    if (name == QStringLiteral("bandsEnabled"))
        return Flag(form->Band[0]->isEnabled()) + Flag(form->Band[6]->isEnabled());
    if (name == QStringLiteral("GroupBox1"))
        return form->GroupBox1->title();
    if (name == QStringLiteral("checked")) {
        QStringList on;
        for (const QAction *a : form->findChildren<QAction *>())
            if (a->isChecked())
                on << a->objectName();
        on.sort();
        return on.join(QLatin1Char(','));
    }
    if (name == QStringLiteral("inPowerEnabled"))
        return Flag(form->N4W1->isEnabled()) + Flag(form->N60W1->isEnabled());
    if (name == QStringLiteral("FirmwareVersion"))
        return s.FirmwareVersion;
    if (name == QStringLiteral("P_out"))
        return form->P_out->text();
    if (name == QStringLiteral("P_max_label"))
        return form->P_max_label->text();
    if (name == QStringLiteral("P_max1"))
        return form->P_max1->isHidden() ? QStringLiteral("hidden")
                                        : QString::number(form->P_max1->x());
    if (name == QStringLiteral("ALC1"))
        return form->ALC1->isHidden() ? QStringLiteral("hidden") : QString::number(form->ALC1->x());
    if (name == QStringLiteral("CalValue"))
        return QString::number(s.CalValue);
    if (name == QStringLiteral("AlcValue"))
        return QString::number(s.AlcValue);
    if (name == QStringLiteral("known"))
        return Flag(s.CalKnown) + Flag(s.AlcKnown);
    if (name == QStringLiteral("output"))
        return QString::number(form->output->Position());
    if (name == QStringLiteral("swr"))
        return QString::number(form->swr->Position());
    if (name == QStringLiteral("tx_led"))
        return Flag(form->tx_led->Value());
    if (name == QStringLiteral("Panel1"))
        return form->Panel1->Caption() + QLatin1Char('/') + ColorName(form->Panel1->Color()) +
               (form->Panel1->isHidden() ? QStringLiteral("/hidden") : QString());
    if (name == QStringLiteral("pending"))
        return Flag(s.BlockOnPending) + Flag(s.BlockOffPending) + Flag(s.AtuOnPending) +
               Flag(s.AtuBypassPending);
    if (name == QStringLiteral("ATUPanel1"))
        return Flag(form->ATUPanel1->isEnabled());
    if (name == QStringLiteral("atu.visible"))
        return Flag(atu->isVisible());
    if (name == QStringLiteral("atu.Panel1"))
        return atu->Panel1->Caption() + QLatin1Char('/') + ColorName(atu->Panel1->Color());
    if (name == QStringLiteral("atu.Panel2"))
        return atu->Panel2->isHidden()
                   ? QStringLiteral("hidden")
                   : atu->Panel2->Caption() + QLatin1Char('/') + ColorName(atu->Panel2->Color());
    if (name == QStringLiteral("FineTuning1"))
        return Flag(atu->FineTuning1->isEnabled());
    if (name == QStringLiteral("atu.Timer1"))
        return Flag(atu->Timer1->isActive());
    if (name == QStringLiteral("atu.Led"))
        return ColorName(atu->Led->TrueColor());
    if (name == QStringLiteral("atu.tune1"))
        return ColorName(atu->tune1->Color());
    if (name == QStringLiteral("atu.SWR")) {
        QString out;
        for (const QAction *a : atu->SWR)
            out += Flag(a->isChecked());
        return out;
    }
    if (name == QStringLiteral("atu.Label3"))
        return atu->Label3->text();
    if (name == QStringLiteral("atu.Label4"))
        return atu->Label4->text();
    if (name == QStringLiteral("atu.Label7"))
        return atu->Label7->text();
    if (name == QStringLiteral("atu.Label8"))
        return atu->Label8->text();
    if (name == QStringLiteral("L"))
        return QString::number(s.TunerInductance);
    if (name == QStringLiteral("C"))
        return QString::number(s.TunerCapacitance);
    if (name == QStringLiteral("K"))
        return Flag(!atu->Image0->isHidden()) + Flag(!atu->Image1->isHidden());
    qFatal("unknown probe %s", qPrintable(name));
}

void TestDispatcher::reports_data() {
    QTest::addColumn<QByteArray>("before"); // fed first; its entries are not checked
    QTest::addColumn<bool>("pa24");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("state"); // "probe=value"
    const QByteArray none;

    // 1, 2: PTT block.
    QTest::newRow("BL:ON") << QByteArray("Panel1 pending") << false << QByteArray("BL:ON\r\n")
                           << S({"+ BL:ON", "+ BL:ON"})
                           << S({"Panel1=PTT Blocked!/alertpink", "pending=0111"});
    QTest::newRow("BL:OFF") << QByteArray("Panel1 pending") << false << QByteArray("BL:OFF\r\n")
                            << S({"+ BL:OFF", "+ BL:OFF"})
                            << S({"Panel1=Click to block PTT/lightgreen", "pending=1011"});
    // 3: temperature.
    QTest::newRow("T: 39") << none << false << QByteArray("T: 39\r\n") << S({"+ T: 39", "+ T: 39"})
                           << S({"Temp2=39", "Temp1=clLime"});
    QTest::newRow("T: 45") << none << false << QByteArray("T: 45\r\n") << S({"+ T: 45", "+ T: 45"})
                           << S({"Temp1=clYellow"});
    QTest::newRow("T: 60") << none << false << QByteArray("T: 60\r\n") << S({"+ T: 60", "+ T: 60"})
                           << S({"Temp1=clFuchsia"});
    QTest::newRow("T: 75") << none << false << QByteArray("T: 75\r\n") << S({"+ T: 75", "+ T: 75"})
                           << S({"Temp1=clRed"});
    QTest::newRow("T: 100 hot is red")
        << none << false << QByteArray("T: 100\r\n") << S({"+ T: 100", "+ T: 100"})
        << S({"Temp2=100", "Temp1=clRed"});
    QTest::newRow("T: 5 is green") << none << false << QByteArray("T: 5\r\n")
                                   << S({"+ T: 5", "+ T: 5"}) << S({"Temp1=clLime"});
    // 4: band.
    QTest::newRow("B: 3") << none << false << QByteArray("B: 3\r\n") << S({"+ B: 3", "+ B: 3"})
                          << S({"CurrentBand=3", "bands=SSLSSSS"});
    QTest::newRow("B: 9") << none << false << QByteArray("B: 9\r\n") << S({"+ B: 9", "+ B: 9"})
                          << S({"CurrentBand=9", "bands=SSSSSSS"});
    QTest::newRow("B: 258 low 8 bits")
        << none << false << QByteArray("B: 258\r\n") << S({"+ B: 258", "+ B: 258"})
        << S({"CurrentBand=2", "bands=SLSSSSS"});
    QTest::newRow("B: x") << none << false << QByteArray("B: x\r\n")
                          << S({"+ B: x", "****** Band conversion error", "+ B: x"})
                          << S({"CurrentBand=7", "bands=SSSSSSL"});
    // 5: firmware version and PA type.
    QTest::newRow("Ver: 3.30") << none << true << QByteArray("Ver: 3.30\r\n")
                               << S({"+ Ver: 3.30", "+ Ver: 3.30"})
                               << S({"FirmwareVersion=3.30", "FineTuning1=1", "checked=N12kW1"});
    QTest::newRow("Ver: 3.3") << none << false << QByteArray("Ver:3.3 \r\n")
                              << S({"+ Ver:3.3 ", "+ Ver: 3.3"})
                              << S({"FirmwareVersion=3.3", "FineTuning1=1"});
    QTest::newRow("Ver: 3.28") << none << false << QByteArray("Ver: 3.28\r\n")
                               << S({"+ Ver: 3.28", "+ Ver: 3.28"}) << S({"FineTuning1=0"});
    QTest::newRow("Ver: 3.100") << none << false << QByteArray("Ver: 3.100\r\n")
                                << S({"+ Ver: 3.100", "+ Ver: 3.100"}) << S({"FineTuning1=0"});
    QTest::newRow("Ver: 3.30x2") << none << false << QByteArray("Ver: 3.30x2\r\n")
                                 << S({"+ Ver: 3.30x2", "+ Ver: 3.30x2"})
                                 << S({"FineTuning1=1", "checked=N24kW1"});
    // 6: alarm sound.
    QTest::newRow("ALM: 1") << none << false << QByteArray("ALM: 1\r\n")
                            << S({"+ ALM: 1", "+ ALM: 1"}) << S({"checked=CWbybuzzer1,N12kW1"});
    QTest::newRow("ALM: 2") << none << false << QByteArray("ALM: 2\r\n")
                            << S({"+ ALM: 2", "+ ALM: 2"}) << S({"checked=Buzzer1,N12kW1"});
    QTest::newRow("ALM: 7") << none << false << QByteArray("ALM: 7\r\n")
                            << S({"+ ALM: 7", "+ ALM: 7"}) << S({"checked=N12kW1,Nosound1"});
    // 7: interface.
    QTest::newRow("I: 3") << none << false << QByteArray("I: 3\r\n") << S({"+ I: 3", "+ I: 3"})
                          << S({"checked=ICOM1,N12kW1", "GroupBox1=Band (ICOM)",
                                "bandsEnabled=00"});
    QTest::newRow("I: 5") << none << false << QByteArray("I: 5\r\n") << S({"+ I: 5", "+ I: 5"})
                          << S({"checked=Manual1,N12kW1", "GroupBox1=Band (Manual)",
                                "bandsEnabled=11"});
    QTest::newRow("I: 6 after manual")
        << QByteArray("I: 5\r\n") << false << QByteArray("I: 6\r\n") << S({"+ I: 6", "+ I: 6"})
        << S({"checked=N12kW1,OTRSP1", "GroupBox1=Band (OTRSP)", "bandsEnabled=00"});
    QTest::newRow("I: 7") << none << false << QByteArray("I: 7\r\n") << S({"+ I: 7", "+ I: 7"})
                          << S({"checked=Flex1,N12kW1", "GroupBox1=Band (Flex)"});
    QTest::newRow("I: 2") << none << false << QByteArray("I: 2\r\n") << S({"+ I: 2", "+ I: 2"})
                          << S({"checked=N12kW1,YAESUFT8171", "GroupBox1=Band (YAESU FT817)"});
    QTest::newRow("I: 9") << none << false << QByteArray("I: 9\r\n") << S({"+ I: 9", "+ I: 9"})
                          << S({"checked=N12kW1"});
    // 8, 9, 10: fan, bar speed, TOT.
    QTest::newRow("F: 2") << none << false << QByteArray("F: 2\r\n") << S({"+ F: 2", "+ F: 2"})
                          << S({"checked=Max1,N12kW1"});
    QTest::newRow("F: 5") << none << false << QByteArray("F: 5\r\n") << S({"+ F: 5", "+ F: 5"})
                          << S({"checked=N12kW1"});
    QTest::newRow("BAR: 4") << none << false << QByteArray("BAR: 4\r\n")
                            << S({"+ BAR: 4", "+ BAR: 4"}) << S({"checked=N12kW1,Veryfast1"});
    QTest::newRow("TOT: 3") << none << false << QByteArray("TOT: 3\r\n")
                            << S({"+ TOT: 3", "+ TOT: 3"}) << S({"checked=N12kW1,N15min1"});
    QTest::newRow("TOT: 1 only first char")
        << none << false << QByteArray("TOT: 12\r\n") << S({"+ TOT: 12", "+ TOT: 1"})
        << S({"checked=N12kW1,Off1"});
    // 11: peak power.
    QTest::newRow("P_max: 1300 1.2k")
        << none << false << QByteArray("P_max: 1300\r\n") << S({"+ P_max: 1300", "+ P_max: 1200"})
        << S({"P_max_label=1300 W", "P_max1=408"});
    QTest::newRow("P_max: 3000 2.4k")
        << none << true << QByteArray("P_max: 3000\r\n") << S({"+ P_max: 3000", "+ P_max: 2400"})
        << S({"P_max_label=3000 W", "P_max1=408"});
    QTest::newRow("P_max: 600 2.4k") << none << true << QByteArray("P_max: 600\r\n")
                                     << S({"+ P_max: 600", "+ P_max: 600"}) << S({"P_max1=108"});
    // 12, 13: calibration and ALC.
    QTest::newRow("CAL: 255") << none << false << QByteArray("CAL: 255\r\n")
                              << S({"+ CAL: 255", "+ CAL: 255"})
                              << S({"ALC1=hidden", "CalValue=255", "known=10"});
    QTest::newRow("CAL: 200 after ALC 100")
        << QByteArray("ALC_PWM: 100\r\n") << false << QByteArray("CAL: 200\r\n")
        << S({"+ CAL: 200", "+ CAL: 200"}) << S({"ALC1=174", "CalValue=200", "known=11"});
    QTest::newRow("ALC_PWM: 90 after CAL 180")
        << QByteArray("CAL: 180\r\n") << false << QByteArray("ALC_PWM: 90\r\n")
        << S({"+ ALC_PWM: 90", "+ ALC_PWM: 90"}) << S({"ALC1=174", "AlcValue=90"});
    QTest::newRow("CAL: 0 shows marker, does not divide")
        << QByteArray("ALC_PWM: 100\r\n") << false << QByteArray("CAL: 0\r\n")
        << S({"+ CAL: 0", "+ CAL: 0"}) << S({"CalValue=0"});
    QTest::newRow("CAL: 511 low 8 bits") << none << false << QByteArray("CAL: 511\r\n")
                                         << S({"+ CAL: 511", "+ CAL: 511"}) << S({"CalValue=255"});
    QTest::newRow("CAL: x") << none << false << QByteArray("CAL: x\r\n")
                            << S({"+ CAL: x", "+ CAL: x", "****** Conversion error CAL"})
                            << S({"CalValue=255", "known=10", "ALC1=hidden"});
    QTest::newRow("ALC_PWM: ?") << none << false << QByteArray("ALC_PWM: ?\r\n")
                                << S({"+ ALC_PWM: ?", "+ ALC_PWM: ?",
                                      "****** Conversion error ALC_PWM"})
                                << S({"AlcValue=0", "known=01"});
    // 14, 15: power.
    QTest::newRow("O: 850") << none << false << QByteArray("O: 850\r\n")
                            << S({"+ O: 850", "+ O: 850"}) << S({"P_out=850 W", "output=850"});
    QTest::newRow("O: 1500 1.2k") << none << false << QByteArray("O: 1500\r\n")
                                  << S({"+ O: 1500", "+ O: 1500"})
                                  << S({"P_out=1500 W", "output=1200"});
    QTest::newRow("O: 1500 2.4k") << none << true << QByteArray("O: 1500\r\n")
                                  << S({"+ O: 1500", "+ O: 1500"}) << S({"output=750"});
    QTest::newRow("O: 851 2.4k truncates") << none << true << QByteArray("O: 851\r\n")
                                           << S({"+ O: 851", "+ O: 851"}) << S({"output=425"});
    QTest::newRow("O: bad") << none << false << QByteArray("O: 8k\r\n")
                            << S({"+ O: 8k", "+ O: 8k", "****** Conversion error Power Out"})
                            << S({"P_out=8k W", "output=0"});
    QTest::newRow("R: 100 unscaled 2.4k") << none << true << QByteArray("R: 100\r\n")
                                          << S({"+ R: 100", "+ R: 100"}) << S({"swr=100"});
    QTest::newRow("R: bad") << none << false << QByteArray("R: \r\n")
                            << S({"+ R: ", "+ R: ", "****** Conversion error Power Rev"})
                            << S({"swr=0"});
    // 16, 20: logged twice.
    QTest::newRow("IN_ALARM_PWM") << none << false << QByteArray("IN_ALARM_PWM: 7\r\n")
                                  << S({"+ IN_ALARM_PWM: 7", "+ IN_ALARM_PWM: 7"}) << S({});
    QTest::newRow("B5 line") << none << false << QByteArray("B5 17M\r\n")
                             << S({"+ B5 17M", "+ B5 17M"}) << S({"CurrentBand=7"});
    QTest::newRow("B_ line") << none << false << QByteArray("B_x\r\n") << S({"+ B_x", "+ B_x"})
                             << S({});
    QTest::newRow("unknown only logged")
        << none << false << QByteArray("LB: 1\r\n") << S({"+ LB: 1"}) << S({});
    QTest::newRow("case matters") << none << false << QByteArray("o: 850\r\n") << S({"+ o: 850"})
                                  << S({"output=0"});
    // 17, 18: transmit state.
    QTest::newRow("TX: ON") << none << false << QByteArray("TX: ON\r\n")
                            << S({"+ TX: ON", "+ TX: ON"})
                            << S({"tx_led=1", "Panel1=Click to block PTT/lightgreen/hidden"});
    QTest::newRow("TX: OFF clears")
        << QByteArray("TX: ON\r\nO: 700\r\nR: 30\r\nP_max: 900\r\n") << false
        << QByteArray("TX: OFF\r\n") << S({"+ TX: OFF", "+ TX: OFF"})
        << S({"tx_led=0", "output=0", "swr=0", "P_max1=hidden",
              "P_max_label=", "P_out=", "Panel1=Click to block PTT/lightgreen"});
    // 19: input power.
    QTest::newRow("InPower: 2") << none << false << QByteArray("InPower: 2\r\n")
                                << S({"+ InPower: 2", "+ InPower: 2"})
                                << S({"checked=N12kW1,N60W1", "inPowerEnabled=00"});
    QTest::newRow("InPower: 1") << none << false << QByteArray("InPower: 1\r\n")
                                << S({"+ InPower: 1", "+ InPower: 1"})
                                << S({"checked=N12kW1,N4W1", "inPowerEnabled=00"});
    // 23: tuner status.
    QTest::newRow("ATU_INF: 3") << none << false << QByteArray("ATU_INF: 3\r\n")
                                << S({"+ ATU_INF: 3"})
                                << S({"atu.Panel2=Tuning is in progress.../clYellow"});
    QTest::newRow("ATU_INF: 4") << none << false << QByteArray("ATU_INF: 4\r\n")
                                << S({"+ ATU_INF: 4"})
                                << S({"atu.Panel2=Tuning is finished!!/lightgreen"});
    QTest::newRow("ATU_INF: 0 hides")
        << QByteArray("ATU_INF: 5\r\n") << false << QByteArray("ATU_INF: 0\r\n")
        << S({"+ ATU_INF: 0"}) << S({"atu.Panel2=hidden"});
    QTest::newRow("ATU_INF: 9 nothing")
        << QByteArray("ATU_INF: 1\r\n") << false << QByteArray("ATU_INF: 9\r\n")
        << S({"+ ATU_INF: 9"}) << S({"atu.Panel2=Wrong power!/clFuchsia"});
    QTest::newRow("ATU_INF: no digit")
        << none << false << QByteArray("ATU_INF:\r\n")
        << S({"+ ATU_INF:", "****** Conversion error ATU_INF"}) << S({"atu.Panel2=hidden"});
    // 24: ATU fitted.
    QTest::newRow("ATU_INST: 1") << none << false << QByteArray("ATU_INST: 1\r\n")
                                 << S({"+ ATU_INST: 1", "+ ATU_INSTALLED: 1"})
                                 << S({"ATUPanel1=1", "atu.visible=1"});
    QTest::newRow("ATU_INST: x") << QByteArray("ATU_INST: 1\r\n") << false
                                 << QByteArray("ATU_INST: x\r\n")
                                 << S({"+ ATU_INST: x", "+ ATU_INSTALLED: 0"})
                                 << S({"ATUPanel1=0", "atu.visible=1"});
    QTest::newRow("ATU_INST: short")
        << none << false << QByteArray("ATU_INST: \r\n")
        << S({"+ ATU_INST: ", "+ ATU_INSTALLED: 0"}) << S({"ATUPanel1=0", "atu.visible=0"});
    // 25: ATU state.
    QTest::newRow("ATU_STATE: 1") << QByteArray("Ver: 3.30\r\natu pending") << false
                                  << QByteArray("ATU_STATE: 1\r\n")
                                  << S({"+ ATU_STATE: 1", "+ ATU_STATE: 1"})
                                  << S({"atu.Panel1=ATU On/lightgreen", "pending=1001",
                                        "atu.Timer1=0", "FineTuning1=1"});
    QTest::newRow("ATU_STATE: 2 is bypass")
        << QByteArray("Ver: 3.30\r\natu pending") << false << QByteArray("ATU_STATE: 2\r\n")
        << S({"+ ATU_STATE: 2", "+ ATU_STATE: 0"})
        << S({"atu.Panel1=BYPASS/alertpink", "pending=1010", "atu.Timer1=0", "FineTuning1=0"});
    QTest::newRow("ATU_STATE: 1 old firmware")
        << QByteArray("Ver: 3.28\r\nATU_STATE: 0\r\n") << false << QByteArray("ATU_STATE: 1\r\n")
        << S({"+ ATU_STATE: 1", "+ ATU_STATE: 1"})
        << S({"atu.Panel1=ATU On/lightgreen", "FineTuning1=0"});
    // 26, 27: tune, lamp.
    QTest::newRow("TUNE OFF") << none << false << QByteArray("TUNE OFF\r\n")
                              << S({"+ TUNE OFF", "+ TUNE OFF"}) << S({"atu.tune1=clBtnFace"});
    QTest::newRow("RED") << none << false << QByteArray("RED\r\n") << S({"+ RED", "+ RED"})
                         << S({"atu.Led=clRed"});
    QTest::newRow("GREEN") << none << false << QByteArray("GREEN\r\n") << S({"+ GREEN", "+ GREEN"})
                           << S({"atu.Led=clLime"});
    QTest::newRow("GREY") << QByteArray("RED\r\n") << false << QByteArray("GREY\r\n")
                          << S({"+ GREY", "+ GREY"}) << S({"atu.Led=clSilver"});
    QTest::newRow("YELLOW manual band 3")
        << QByteArray("Ver: 3.30\r\nATU_STATE: 0\r\nI: 5\r\nB: 3\r\nRED\r\n") << false
        << QByteArray("YELLOW\r\n") << S({"+ YELLOW", "+ YELLOW"})
        << S({"atu.Led=clYellow", "atu.Panel1=ATU On/lightgreen", "FineTuning1=1"});
    QTest::newRow("YELLOW band 7") << QByteArray("ATU_STATE: 0\r\nI: 5\r\nB: 7\r\nRED\r\n") << false
                                   << QByteArray("YELLOW\r\n") << S({"+ YELLOW", "+ YELLOW"})
                                   << S({"atu.Led=clYellow", "atu.Panel1=BYPASS/alertpink"});
    QTest::newRow("YELLOW not manual")
        << QByteArray("ATU_STATE: 0\r\nI: 3\r\nB: 3\r\n") << false << QByteArray("YELLOW\r\n")
        << S({"+ YELLOW", "+ YELLOW"}) << S({"atu.Panel1=BYPASS/alertpink"});
    // 28: SWR min.
    QTest::newRow("SWRmin: 14") << QByteArray("SWRmin: 11\r\n") << false
                                << QByteArray("SWRmin: 14\r\n")
                                << S({"+ SWRmin: 14", "+ SWRmin: 14"}) << S({"atu.SWR=0001000"});
    QTest::newRow("SWRmin: 18") << QByteArray("SWRmin: 12\r\n") << false
                                << QByteArray("SWRmin: 18\r\n")
                                << S({"+ SWRmin: 18", "+ SWRmin: 18"}) << S({"atu.SWR=0100000"});
    QTest::newRow("SWRmin: x") << none << false << QByteArray("SWRmin: 1x\r\n")
                               << S({"+ SWRmin: 1x", "+ SWRmin: 1x",
                                     "****** Conversion error SWRmin"})
                               << S({"atu.SWR=0000000"});
    // 29: forward reading.
    QTest::newRow("ATU_FWD") << none << false << QByteArray("ATU_FWD: 12345678\r\n")
                             << S({"+ ATU_FWD: 12345678"}) << S({"atu.Label7=12345"});
    // 30, 31: relays.
    QTest::newRow("END_L: 101") << none << false << QByteArray("END_L: 101\r\n")
                                << S({"+ END_L: 101", "+ Port L: 00000101"})
                                << S({"L=0.2", "atu.Label4=0.2 \u00B5H"});
    QTest::newRow("Port L: eight ones")
        << none << false << QByteArray("Port L: 11111111\r\n")
        << S({"+ Port L: 11111111", "+ Port L: 11111111"}) << S({"L=10.2"});
    QTest::newRow("END_C: nine ones")
        << none << false << QByteArray("END_C: 111111111\r\n")
        << S({"+ END_C: 111111111", "+ Port C: 11111111"}) << S({"C=1275", "atu.Label8=1275 pF"});
    QTest::newRow("Port C: 00000001")
        << none << false << QByteArray("Port C: 00000001\r\n")
        << S({"+ Port C: 00000001", "+ Port C: 00000001"}) << S({"C=5", "atu.Label8=5 pF"});
    QTest::newRow("END_C: bad digit")
        << QByteArray("END_C: 1\r\n") << false << QByteArray("END_C: 1x1\r\n")
        << S({"+ END_C: 1x1", "+ Port C: 000001x1", "****** Conversion error Port C"})
        << S({"C=0", "atu.Label8="});
    // 32, 33: SWR.
    QTest::newRow("END_SWR:  15") << none << false << QByteArray("END_SWR:  15\r\n")
                                  << S({"+ END_SWR:  15", "+ SWR: 1.5"}) << S({"atu.Label3=1.5"});
    QTest::newRow("END_SWR: 255") << none << false << QByteArray("END_SWR: 255\r\n")
                                  << S({"+ END_SWR: 255", "+ SWR: ???"}) << S({"atu.Label3=???"});
    QTest::newRow("SWR: 9") << none << false << QByteArray("SWR: 9\r\n")
                            << S({"+ SWR: 9", "+ SWR: 9.0"}) << S({"atu.Label3=9.0"});
    QTest::newRow("SWR: 123") << none << false << QByteArray("SWR: 123\r\n")
                              << S({"+ SWR: 123", "+ SWR: 1.0"}) << S({"atu.Label3=1.0"});
    QTest::newRow("SWR: 255") << none << false << QByteArray("SWR: 255\r\n")
                              << S({"+ SWR: 255", "+ SWR: ???"}) << S({"atu.Label3=???"});
    // 34, 35: switch K.
    QTest::newRow("K: 0") << QByteArray("K: 1\r\n") << false << QByteArray("K: 0\r\n")
                          << S({"+ K: 0", "+ K: 0"}) << S({"K=10"});
    QTest::newRow("K: 1") << QByteArray("K: 0\r\n") << false << QByteArray("K: 1\r\n")
                          << S({"+ K: 1", "+ K: 1"}) << S({"K=01"});
    QTest::newRow("END_K: 0") << QByteArray("K: 1\r\n") << false << QByteArray("END_K: 0\r\n")
                              << S({"+ END_K: 0", "+ K: 0"}) << S({"K=10"});
    // A value replaces the line: later tests compare against the value.
    QTest::newRow("value matched again")
        << none << false << QByteArray("B: B1\r\n")
        << S({"+ B: B1", "****** Band conversion error", "+ B: B1", "+ B1"})
        << S({"CurrentBand=7"});
    QTest::newRow("temperature text acts")
        << none << false << QByteArray("T: TX: ON\r\n")
        << S({"+ T: TX: ON", "+ T: TX: ON", "+ TX: ON"}) << S({"Temp2=TX: ON", "tx_led=1"});
}

void TestDispatcher::reports() {
    QFETCH(QByteArray, before);
    QFETCH(bool, pa24);
    QFETCH(QByteArray, chunk);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, state);

    (pa24 ? form->N24kW1 : form->N12kW1)->setChecked(true);
    if (before.endsWith("Panel1 pending")) {
        form->Session.BlockOnPending = form->Session.BlockOffPending = true;
        form->Session.AtuOnPending = form->Session.AtuBypassPending = true;
        before.chop(14);
    }
    if (before.endsWith("atu pending")) {
        form->Session.BlockOnPending = form->Session.AtuOnPending = true;
        form->Session.AtuBypassPending = true;
        w().Fatu1->Timer1->start();
        before.chop(11);
    }
    feed(before);
    clearMonitor();
    feed(chunk);
    QCOMPARE(monitor(), entries);
    for (const QString &s : state) {
        const qsizetype eq = s.indexOf(QLatin1Char('='));
        QCOMPARE(s.left(eq) + QLatin1Char('=') + probe(s.left(eq)), s);
    }
    QVERIFY(boxes.isEmpty());
}

void TestDispatcher::conversionErrorKeepsTheRest() {
    feed("I: x\r\nF: \r\nTOT: 2\r\nO: 500\r\n");
    QCOMPARE(monitor(), (S({"+ I: x", "+ I: x", "****** Conversion error I",
                            "+ F: ", "+ F: ", "****** Conversion error F", "+ TOT: 2", "+ TOT: 2",
                            "+ O: 500", "+ O: 500"})));
    QCOMPARE(form->output->Position(), 500);
    QVERIFY(form->N5min1->isChecked());
    // P_max: the received text is shown, the marker stays where it was.
    clearMonitor();
    feed("P_max: 12x\r\nR: 3\r\n");
    QCOMPARE(monitor(), (S({"+ P_max: 12x", "****** Conversion error P_max", "+ R: 3", "+ R: 3"})));
    QCOMPARE(form->P_max_label->text(), QStringLiteral("12x W"));
    QVERIFY(form->P_max1->isHidden());
    QCOMPARE(form->swr->Position(), 3);
}

void TestDispatcher::reportsIgnoredBeforeIdentification() {
    form->Session.PaIdentified = false;
    feed("O: 500\r\nALARM: SWR\r\nPA_QZ9Q\r\nB: 3\r\n");
    QCOMPARE(monitor(), (S({"+ O: 500", "+ ALARM: SWR", "+ PA_QZ9Q", "+ B: 3"})));
    QCOMPARE(form->output->Position(), 0);
    QCOMPARE(form->Session.CurrentBand, std::uint8_t(7));
    QVERIFY(!w().FALARM_SWR->isVisible());
    QVERIFY(!form->Session.PaIdentified);
}

void TestDispatcher::identificationSendsBurst() {
    form->Session.PaIdentified = false;
    openToPeer();
    clearMonitor();
    form->Session.ConnectTicks = 3;
    QElapsedTimer t;
    t.start();
    feed("PA_QZ9QZ-extra\r\nO: 100\r\n");
    // Four 20 ms pauses block the handler.
    QVERIFY(t.elapsed() >= 80);
    QVERIFY(form->Session.PaIdentified);
    QCOMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!form->Timer1->isActive());
    QCOMPARE(form->Session.ConnectTicks, std::uint8_t(0));
    const QList<QByteArray> burst = {"B?",   "InPower?", "T?",       "ALM?", "ALC_PWM?",
                                     "F?",   "I?",       "LB?",      "CAL?", "BAR?",
                                     "TOT?", "Ver?",     "ATU_INST?"};
    QByteArray wire;
    QStringList expected = S({"+ PA_QZ9QZ-extra", "+ PA_QZ9QZ"});
    for (const QByteArray &q : burst) {
        wire += q + "\r\n";
        // Each echo carries its CR LF, so the monitor shows an empty line after it.
        expected << QStringLiteral("- ") + QString::fromLatin1(q) << QString();
    }
    expected << QStringLiteral("+ O: 100") << QStringLiteral("+ O: 100");
    QCOMPARE(peer->read(), wire);
    QCOMPARE(monitor(), expected);
    QCOMPARE(form->output->Position(), 100);
}

void TestDispatcher::interpretedAfterReconnect() {
    form->Session.PaIdentified = false;
    openToPeer();
    feed("PA_QZ9QZ\r\n");
    peer->read();
    form->closeportclick();
    boxes.clear(); // "Disconnected from COM Port"
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Connecting..."));
    // Still identified from before: reports act at once.
    clearMonitor();
    feed("O: 321\r\n");
    QCOMPARE(form->output->Position(), 321);
    QCOMPARE(monitor(), (S({"+ O: 321", "+ O: 321"})));
    // A second identification repeats caption and burst.
    feed("PA_QZ9QZ\r\n");
    QCOMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(peer->read().startsWith("B?\r\nInPower?\r\n"));
}

void TestDispatcher::monitorEmptiedAbove500() {
    for (int i = 0; i < 500; ++i)
        form->Log(QStringLiteral("x"));
    feed("LB\r\n");
    QCOMPARE(monitor().size(), 501); // 500 is not above the limit
    feed("LB\r\n");
    QCOMPARE(monitor(), S({"+ LB"}));
}

void TestDispatcher::splitReportHandledWhole() {
    feed("O: 500\r\nR: 1");
    QCOMPARE(form->output->Position(), 500);
    QCOMPARE(form->swr->Position(), 0);
    QCOMPARE(monitor(), (S({"+ O: 500", "+ O: 500"})));
    feed("2\r");
    QCOMPARE(form->swr->Position(), 12);
    feed("\nTX: OFF\r\n");
    QCOMPARE(monitor(),
             (S({"+ O: 500", "+ O: 500", "+ R: 12", "+ R: 12", "+ TX: OFF", "+ TX: OFF"})));
    // A chunk with no CR is not an empty line.
    clearMonitor();
    feed("T: 4");
    QVERIFY(monitor().isEmpty());
}

void TestDispatcher::overlongGarbageLoggedOnce() {
    feed(QByteArray(3000, 'g'));
    feed(QByteArray(3000, 'g'));
    feed(QByteArray(3000, 'g'));
    QCOMPARE(monitor(), S({"****** Line without end discarded (6000 bytes)"}));
    feed("ggg\r\nO: 7\r\n");
    QCOMPARE(monitor().size(), 3);
    QCOMPARE(form->output->Position(), 7);
}

void TestDispatcher::bytesKeptIntact() {
    const QByteArray value("4\x00\xB0", 3);
    feed("T: " + value + "\r\n");
    const QString text = QString::fromLatin1(value.constData(), value.size());
    QCOMPARE(form->Temp2->text(), text);
    QCOMPARE(form->Temp2->text().size(), 3);
    const QStringList log = monitor();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log.at(1), QStringLiteral("+ T: ") + text);
}

void TestDispatcher::alarmsShownAndCleared() {
    TAlarmForm *const all[] = {w().FALARM_HP,   w().FAlarm_ip,  w().Falarm_bpf,   w().FALARM_SWR,
                               w().Falarm_temp, w().FALARM_TOT, w().FALARM_HPCONT};
    const char *const lines[] = {"ALARM: HPOUT", "ALARM: HPIN", "ALARM: BPF",   "ALARM: SWR",
                                 "ALARM: TEMP",  "ALARM: TOT",  "ALARM: HPCONT"};
    for (int i = 0; i < 7; ++i) {
        clearMonitor();
        feed(QByteArray(lines[i]) + " 77\r\n");
        const QString alarm = QStringLiteral("+ ") + QLatin1String(lines[i]);
        QCOMPARE(monitor(), (QStringList{alarm + QStringLiteral(" 77"), alarm}));
        for (int j = 0; j < 7; ++j)
            QCOMPARE(all[j]->isVisible(), j <= i);
    }
    feed("alarm: OFF\r\nALARM: OTHER\r\n");
    for (TAlarmForm *a : all)
        QVERIFY(a->isVisible());
    clearMonitor();
    feed("ALARM: OFF\r\n");
    QCOMPARE(monitor(), (S({"+ ALARM: OFF", "+ ALARM: OFF"})));
    for (TAlarmForm *a : all)
        QVERIFY(!a->isVisible());
    clearMonitor();
    feed("ALARM: OFF\r\n");
    QCOMPARE(monitor(), (S({"+ ALARM: OFF", "+ ALARM: OFF"})));
}

void TestDispatcher::pmaxAndAlcPlacement() {
    // The markers move along the bar and keep their height.
    const int pmaxTop = form->P_max1->y();
    const int alcTop = form->ALC1->y();
    feed("P_max: 300\r\nCAL: 180\r\nALC_PWM: 90\r\n");
    QCOMPARE(form->P_max1->pos(), QPoint(108, pmaxTop));
    QCOMPARE(form->ALC1->pos(), QPoint(174, alcTop));
    QVERIFY(!form->ALC1->isHidden());
    // An uncalibrated amplifier hides the ALC marker again.
    feed("CAL: 255\r\n");
    QVERIFY(form->ALC1->isHidden());
    // A new calibration moves it by the last ALC value; ALC 0 moves it to
    // the bar's start.
    feed("CAL: 100\r\n");
    QCOMPARE(form->ALC1->x(), 90 * 333 / 100 + 8);
    QVERIFY(!form->ALC1->isHidden());
    feed("ALC_PWM: 0\r\n");
    QCOMPARE(form->ALC1->x(), 8);
}

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
