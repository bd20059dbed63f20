// Tests for the font substitutes: the symbol characters the windows use come
// out as glyphs the installed substitute family really has.
#include "widgets/Fonts.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QTest>

class TestFonts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void glyphs_data();
    void glyphs();
    void families_data();
    void families();
    void textPassesThrough();
};

void TestFonts::glyphs_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QChar>("ch");
    QTest::addColumn<QString>("expected");
    QTest::newRow("tick mark") << QStringLiteral("Webdings") << QChar(u'5')
                               << QStringLiteral("\u25B2");
    QTest::newRow("marker") << QStringLiteral("Wingdings 3") << QChar(u'q')
                            << QStringLiteral("\u25BC");
    QTest::newRow("step left") << QStringLiteral("Wingdings 3") << QChar(u't')
                               << QStringLiteral("\u25C0");
    QTest::newRow("step right") << QStringLiteral("Wingdings 3") << QChar(u'u')
                                << QStringLiteral("\u25B6");
    QTest::newRow("any case") << QStringLiteral("wingdings 3") << QChar(u'q')
                              << QStringLiteral("\u25BC");
    QTest::newRow("symbol mu") << QStringLiteral("Symbol") << QChar(u'm')
                               << QStringLiteral("\u03BC");
    QTest::newRow("symbol O") << QStringLiteral("Symbol") << QChar(u'O')
                              << QStringLiteral("\u039F");
    QTest::newRow("wingdings tick")
        << QStringLiteral("Wingdings") << QChar(0xFC) << QStringLiteral("\u2713");
    QTest::newRow("unmapped") << QStringLiteral("Webdings") << QChar(u'Z') << QStringLiteral("Z");
    QTest::newRow("text font") << QStringLiteral("Arial") << QChar(u'5') << QStringLiteral("5");
}

void TestFonts::glyphs() {
    QFETCH(QString, family);
    QFETCH(QChar, ch);
    QFETCH(QString, expected);
    const QString glyph = SubstituteGlyph(family, ch);
    QCOMPARE(glyph, expected);
    // The substitute font must really draw it, not fall back to a box.
    const QFontMetrics metrics(SubstituteFont(family, 10));
    QVERIFY(metrics.inFont(glyph.at(0)));
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
    const QFont pixels = SubstituteFontPixels(family, 40);
    QCOMPARE(pixels.pixelSize(), 40);
}

void TestFonts::textPassesThrough() {
    QCOMPARE(SubstituteText(QStringLiteral("Wingdings 3"), QStringLiteral("tu")),
             QStringLiteral("\u25C0\u25B6"));
    QCOMPARE(SubstituteText(QStringLiteral("Calibri"), QStringLiteral("tu")), QStringLiteral("tu"));
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
