// The main window's value rules: the power scale per PA type, the ALC level
// and marker of a click on the output bar, and the interface numbers.
#include "app/MainRules.h"

#include <QTest>

class TestMainRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scaleTexts_data();
    void scaleTexts();
    void alcLevel_data();
    void alcLevel();
    void interfaces_data();
    void interfaces();
};

void TestMainRules::scaleTexts_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("1.2 kW") << int(MainRules::PaType::Kw12)
                            << QStringList{QStringLiteral("250W"), QStringLiteral("500W"),
                                           QStringLiteral("750W"), QStringLiteral("1kW"),
                                           QStringLiteral("1.2kW")};
    // " 1kW" keeps its leading blank.
    QTest::newRow("2.4 kW") << int(MainRules::PaType::Kw24)
                            << QStringList{QStringLiteral("500W"), QStringLiteral(" 1kW"),
                                           QStringLiteral("1.5kW"), QStringLiteral("2kW"),
                                           QStringLiteral("2.4kW")};
}

void TestMainRules::scaleTexts() {
    QFETCH(int, type);
    QFETCH(QStringList, texts);
    const auto got = MainRules::ScaleTexts(MainRules::PaType(type));
    QCOMPARE(QStringList(got.begin(), got.end()), texts);
}

void TestMainRules::alcLevel_data() {
    QTest::addColumn<int>("cal");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("marker");
    QTest::newRow("180 at 200") << 180 << 200 << 108 << 208;
    QTest::newRow("at 333 the calibration value") << 200 << 333 << 200 << 341;
    QTest::newRow("truncated") << 100 << 10 << 3 << 18; // 1000 / 333 = 3.003
    QTest::newRow("just below one") << 1 << 332 << 0 << 340;
    QTest::newRow("left end") << 254 << 0 << 0 << 8;
    QTest::newRow("right end, no upper limit") << 254 << 400 << 305 << 408;
    QTest::newRow("zero calibration") << 0 << 300 << 0 << 308;
}

void TestMainRules::alcLevel() {
    QFETCH(int, cal);
    QFETCH(int, x);
    QFETCH(int, level);
    QFETCH(int, marker);
    QCOMPARE(MainRules::AlcLevel(cal, x), level);
    QCOMPARE(MainRules::AlcMarkerLeft(x), marker);
}

void TestMainRules::interfaces_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("known");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("bands");
    QTest::newRow("1") << 1 << true << QStringLiteral("Band (YAESU BCD)") << false;
    QTest::newRow("2") << 2 << true << QStringLiteral("Band (YAESU FT817)") << false;
    QTest::newRow("3") << 3 << true << QStringLiteral("Band (ICOM)") << false;
    QTest::newRow("4") << 4 << true << QStringLiteral("Band (Kenwood)") << false;
    QTest::newRow("5 manual") << 5 << true << QStringLiteral("Band (Manual)") << true;
    QTest::newRow("6") << 6 << true << QStringLiteral("Band (OTRSP)") << false;
    QTest::newRow("7") << 7 << true << QStringLiteral("Band (Flex)") << false;
    QTest::newRow("0") << 0 << false << QString() << false;
    QTest::newRow("8") << 8 << false << QString() << false;
    QTest::newRow("negative") << -5 << false << QString() << false;
}

void TestMainRules::interfaces() {
    QFETCH(int, number);
    QFETCH(bool, known);
    QFETCH(QString, caption);
    QFETCH(bool, bands);
    const auto info = MainRules::Interface(number);
    QCOMPARE(info.has_value(), known);
    if (info) {
        QCOMPARE(info->bandCaption, caption);
        QCOMPARE(info->bandsEnabled, bands);
    }
}

QTEST_APPLESS_MAIN(TestMainRules)
#include "tst_mainrules.moc"
