// SPDX-License-Identifier: GPL-3.0-or-later
// Tests for the font substitutes: the symbol characters the windows use come
// out as glyphs the installed substitute family really has, every family
// resolves to a font of the install list (the suite shows no other fonts),
// and every text of the fixed layouts lies inside its window.
#include "app/AlarmWindow.h"
#include "app/MainWindow.h"
#include "app/WindowSet.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/WindowUi.h"
#include "widgets/Fonts.h"

#include <QAbstractButton>
#include <QAction>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

class TestFonts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void glyphs_data();
    void glyphs();
    void families_data();
    void families();
    void textsInside_data();
    void textsInside();
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
        << QStringLiteral("MS Sans Serif") << QStringLiteral("Liberation Sans");
    QTest::newRow("Webdings") << QStringLiteral("Webdings") << QStringLiteral("DejaVu Sans");
    QTest::newRow("Arial") << QStringLiteral("Arial") << QStringLiteral("Liberation Sans");
    QTest::newRow("Calibri") << QStringLiteral("Calibri") << QStringLiteral("Carlito");
    QTest::newRow("Courier New") << QStringLiteral("Courier New")
                                 << QStringLiteral("Liberation Mono");
    QTest::newRow("Terminal") << QStringLiteral("Terminal_Ctrl+Hex")
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

namespace {

// Where the ink of `text` lands when drawn into `rect` with `flags`.
QRect InkRect(const QFontMetrics &metrics, const QRect &rect, int flags, const QString &text) {
    const QString drawn = text.trimmed();
    if (drawn.isEmpty())
        return {};
    const QRect logical = metrics.boundingRect(rect, flags, text);
    // Leading blanks move the ink right; trailing ones draw nothing.
    const int lead = metrics.horizontalAdvance(text.left(text.indexOf(drawn)));
    return metrics.tightBoundingRect(drawn).translated(logical.left() + lead,
                                                       logical.top() + metrics.ascent());
}

// The part of `w` that can show anything: its rectangle clipped by every
// parent up to the window, in the window's coordinates.
QRect VisibleRect(const QWidget *w) {
    QRect visible(w->mapTo(w->window(), QPoint(0, 0)), w->size());
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget())
        visible &= QRect(p->mapTo(p->window(), QPoint(0, 0)), p->size());
    return visible;
}

// Every text of `window` whose ink leaves the area where it can be seen.
QStringList TextsOutside(QWidget *window) {
    QStringList out;
    auto check = [&](const QWidget *w, const QRect &inkInWidget, const QString &text) {
        if (inkInWidget.isEmpty())
            return;
        const QRect ink = inkInWidget.translated(w->mapTo(window, QPoint(0, 0)));
        if (!VisibleRect(w).contains(ink))
            out << QStringLiteral("%1 \"%2\" ink %3,%4 %5x%6 outside %7x%8")
                       .arg(w->objectName(), text)
                       .arg(ink.x())
                       .arg(ink.y())
                       .arg(ink.width())
                       .arg(ink.height())
                       .arg(window->width())
                       .arg(window->height());
    };
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisibleTo(window) || !label->pixmap().isNull())
            continue;
        const QFontMetrics metrics(label->font());
        check(label,
              InkRect(metrics, label->contentsRect(), int(label->alignment()), label->text()),
              label->text());
    }
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (!button->isVisibleTo(window) || button->text().isEmpty())
            continue;
        const QFontMetrics metrics(button->font());
        check(button, InkRect(metrics, button->rect(), Qt::AlignCenter, button->text()),
              button->text());
    }
    for (QPlainTextEdit *memo : window->findChildren<QPlainTextEdit *>()) {
        if (!memo->isVisibleTo(window))
            continue;
        const QFontMetrics metrics(memo->font());
        const QWidget *viewport = memo->viewport();
        for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) {
            // The line starts where a cursor at its beginning stands.
            const QRect cursor = memo->cursorRect(QTextCursor(b));
            const QRect rect(cursor.left(), cursor.top(), 1 << 16, cursor.height());
            check(viewport, InkRect(metrics, rect, Qt::AlignLeft | Qt::AlignTop, b.text()),
                  b.text());
        }
    }
    if (auto *main = qobject_cast<QMainWindow *>(window)) {
        // A menu that does not fit would be pushed into the bar's overflow.
        QMenuBar *bar = main->menuBar();
        const QFontMetrics metrics(bar->font());
        for (QAction *action : bar->actions()) {
            const QString text = action->text().remove(QLatin1Char('&'));
            const QRect item = bar->actionGeometry(action);
            if (item.isEmpty() || !bar->rect().contains(item))
                out << QStringLiteral("menu \"%1\" not in the bar").arg(text);
            else
                check(bar, InkRect(metrics, item, Qt::AlignCenter, text), text);
        }
    }
    return out;
}

} // namespace

void TestFonts::textsInside_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("pa24");
    QTest::addColumn<QString>("shows");
    auto row = [](const char *name, const char *window, const char *report, bool pa24,
                  const QString &shows) {
        QTest::newRow(name) << QString::fromLatin1(window) << QString::fromLatin1(report) << pa24
                            << shows;
    };
    row("high output power", "FALARM_HP", "ALARM: HPOUT", false, QStringLiteral("Output Power"));
    row("high input power", "FAlarm_ip", "ALARM: HPIN", false, QStringLiteral("Input Power"));
    row("reverse power", "FALARM_SWR", "ALARM: SWR", false, QStringLiteral("Reverse Power"));
    row("band pass filter", "Falarm_bpf", "ALARM: BPF", false, QStringLiteral("Band Pass Filter"));
    row("temperature alarm", "Falarm_temp", "ALARM: TEMP", false, QStringLiteral("is too HIGH !"));
    row("transmit time", "FALARM_TOT", "ALARM: TOT", false,
        QStringLiteral("The transmission time "));
    row("continuous, 1.2 kW", "FALARM_HPCONT", "ALARM: HPCONT", false,
        QStringLiteral("600 Watts!"));
    row("continuous, 2.4 kW", "FALARM_HPCONT", "ALARM: HPCONT", true, QStringLiteral("   1.2 kW!"));
    row("calibration", "Form3", "", false, QStringLiteral("ALC"));
    row("main window, 100 degrees", "Form1", "T: 100", false, QStringLiteral("100"));
    row("main window, 2.4 kW", "Form1", "TX: ON\r\nO: 2400\r\nP_max: 2400\r\nT: 88", true,
        QStringLiteral("2400 W"));
    row("ATU panel, service view", "Fatu1", "ATU_FWD: 2400 W", false, QStringLiteral("FWD:"));
    row("port monitor", "Form2", "", false, QStringLiteral("Lines with '+' - received from PA"));
}

void TestFonts::textsInside() {
    QFETCH(QString, window);
    QFETCH(QString, report);
    QFETCH(bool, pa24);
    QFETCH(QString, shows);
    WindowSet set;
    MainWindow *form = set.Main();
    // The amplifier identified over a pseudo-terminal: reports are interpreted.
    PtyPeer peer;
    QCOMPARE(form->Link.Open(peer.devicePath()), QString());
    form->Link.ReceiveChunk("PA_QZ9QZ\r\n");
    if (pa24)
        Action(form, "N24kW1")->trigger();
    form->show();
    form->Link.RevealServiceReadings();
    if (!report.isEmpty())
        form->Link.ReceiveChunk(report.toLatin1() + "\r\n");
    QWidget *target = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == window)
            target = w;
    QVERIFY(target);
    target->show();
    QVERIFY(QTest::qWaitForWindowExposed(target));
    // The row looks at the window it means: the text it names is on show.
    bool found = false;
    for (const QObject *o : target->findChildren<QObject *>())
        found = found || o->property("text").toString() == shows ||
                o->property("title").toString() == shows;
    QVERIFY2(found, qPrintable(shows));
    const QStringList outside = TextsOutside(target);
    QVERIFY2(outside.isEmpty(), qPrintable(outside.join(QStringLiteral("; "))));
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
