// Tests for the font substitutes: the symbol characters the windows use come
// out as glyphs the installed substitute family really has.
#include "widgets/Fonts.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>

class TestFonts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void glyphs_data();
    void glyphs();
    void families_data();
    void families();
};

void TestFonts::glyphs_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *family, const QString &text,
                  const QString &expected) {
        QTest::newRow(name) << QString::fromLatin1(family) << text << expected;
    };
    row("tick mark", "Webdings", QStringLiteral("5"), QStringLiteral("\u25B2"));
    row("markers", "Wingdings 3", QStringLiteral("qtu"), QStringLiteral("\u25BC\u25C0\u25B6"));
    row("any case", "wingdings 3", QStringLiteral("q"), QStringLiteral("\u25BC"));
    row("symbol", "Symbol", QStringLiteral("mO"), QStringLiteral("\u03BC\u039F"));
    row("wingdings tick", "Wingdings", QString(QChar(0xFC)), QStringLiteral("\u2713"));
    row("unmapped", "Webdings", QStringLiteral("Z"), QStringLiteral("Z"));
    row("text font", "Arial", QStringLiteral("5"), QStringLiteral("5"));
}

void TestFonts::glyphs() {
    QFETCH(QString, family);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(SubstituteText(family, text), expected);
    QCOMPARE(SubstituteGlyph(family, text.at(0)), expected.left(1));
    // The substitute font must really draw it, not fall back to a box.
    const QFontMetrics metrics(SubstituteFont(family, 10));
    for (const QChar ch : expected)
        QVERIFY(metrics.inFont(ch));
}

void TestFonts::families_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("expected");
    QTest::newRow("MS Sans Serif")
        << QStringLiteral("MS Sans Serif") << QStringLiteral("DejaVu Sans");
    QTest::newRow("Webdings") << QStringLiteral("Webdings") << QStringLiteral("DejaVu Sans");
    QTest::newRow("Arial") << QStringLiteral("Arial") << QStringLiteral("Nimbus Sans");
    QTest::newRow("Courier New") << QStringLiteral("Courier New")
                                 << QStringLiteral("DejaVu Sans Mono");
    QTest::newRow("unknown") << QStringLiteral("DejaVu Serif") << QStringLiteral("DejaVu Serif");
}

void TestFonts::families() {
    QFETCH(QString, family);
    QFETCH(QString, expected);
    QCOMPARE(SubstituteFamily(family), expected);
    // Installed here: the font database resolves to it, not to a fallback.
    QVERIFY(QFontInfo(SubstituteFont(family, 9)).family().startsWith(expected));
    QVERIFY(QFontInfo(SubstituteFontPixels(family, 40)).family().startsWith(expected));
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
