// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AlarmWindow.h"

#include "widgets/Accessible.h"
#include "widgets/Colors.h"
#include "widgets/Fonts.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QWindow>

const AlarmWindow::Design AlarmWindow::Designs[AlarmKinds] = {
    {AlarmKind::HpOut,
     "FALARM_HP",
     "ALARM - HIGH OUTPUT POWER",
     {{"Label1", "Output Power", 80, 40}, {"Label2", "is too HIGH!", 96, 104}, {}}},
    {AlarmKind::HpIn,
     "FAlarm_ip",
     "ALARM - HIGH INPUT POWER",
     {{"Label1", "Input Power", 104, 40}, {"Label2", "is too HIGH!", 96, 104}, {}}},
    {AlarmKind::Swr,
     "FALARM_SWR",
     "ALARM - HIGH REVERSE POWER",
     {{"Label1", "Reverse Power", 64, 40}, {"Label2", "is too HIGH!", 80, 104}, {}}},
    {AlarmKind::Bpf,
     "Falarm_bpf",
     "ALARM - BPF failure",
     {{"Label1", "Band Pass Filter", 56, 40}, {"Label2", "Failure !", 128, 104}, {}}},
    {AlarmKind::Temp,
     "Falarm_temp",
     "Alarm - Temperature",
     {{"Label1", "Temperature", 88, 40}, {"Label2", "is too HIGH !", 88, 104}, {}}},
    {AlarmKind::Tot,
     "FALARM_TOT",
     "ALARM - TIME OF TRANSMIT",
     {{"Label1", "The transmission time ", 8, 40}, {"Label3", "has been exceeded!", 24, 88}, {}}},
    {AlarmKind::HpCont,
     "FALARM_HPCONT",
     "ALARM - Continoues Power",
     {{"Label1", "Continuous Output", 40, 24},
      {"Label3", "Power Exceeds", 56, 72},
      {"Label2", nullptr, 96, 120}}},
};

const AlarmKind AlarmWindow::ClearOrder[AlarmKinds] = {
    AlarmKind::HpOut, AlarmKind::HpIn,   AlarmKind::Bpf, AlarmKind::Swr,
    AlarmKind::Temp,  AlarmKind::HpCont, AlarmKind::Tot};

namespace {

// An alarm window is an alert named by its text.
class AccessibleAlarm : public QAccessibleWidget {
public:
    explicit AccessibleAlarm(AlarmWindow *window)
        : QAccessibleWidget(window, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return static_cast<AlarmWindow *>(widget())->AlarmText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *AlarmFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("AlarmWindow"))
        if (auto *window = qobject_cast<AlarmWindow *>(object))
            return new AccessibleAlarm(window);
    return nullptr;
}

// Sizes a label to its text. A font wider than the one the window was laid
// out for would push a long line past the window's right edge: the font is
// then narrowed just enough for the whole text to stay inside.
void FitLabel(QLabel *label, int windowWidth) {
    QFont font = label->font();
    font.setStretch(QFont::Unstretched);
    label->setFont(font);
    label->adjustSize();
    for (int stretch = 99; stretch >= 50 && label->x() + label->width() > windowWidth; --stretch) {
        font.setStretch(stretch);
        label->setFont(font);
        label->adjustSize();
    }
}

} // namespace

QString AlarmWindow::ContinuousPowerLimit(PaType paType) {
    return paType == PaType::Kw12 ? QStringLiteral("600 Watts!") : QStringLiteral("   1.2 kW!");
}

AlarmWindow::AlarmWindow(const Design &design, QWidget *parent)
    // No border and no title bar; the window never takes the focus from the
    // main window.
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      design(design) {
    InstallAccessibility<AlarmFactory>();
    setObjectName(QLatin1String(design.name));
    setWindowTitle(QLatin1String(design.title));
    setFixedSize(396, 198);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clRed));
    pal.setColor(QPalette::WindowText, ToQColor(clWindowText));
    setPalette(pal);
    setAutoFillBackground(true);
    for (const Line &line : design.lines) {
        if (!line.name)
            break;
        auto *label = new QLabel(LineText(line), this);
        label->setObjectName(QLatin1String(line.name));
        label->setTextFormat(Qt::PlainText);
        label->setFont(SubstituteFontPixels(QStringLiteral("Arial"), 40));
        label->move(line.x, line.y);
        FitLabel(label, width());
        if (!line.text)
            figure = label;
    }
}

QString AlarmWindow::LineText(const Line &line) const {
    return line.text ? QLatin1String(line.text) : ContinuousPowerLimit(shownFor);
}

bool AlarmWindow::ShowAlarm(QWidget *over, PaType paType) {
    if (isVisible())
        return false;
    if (over) {
        // Kept above the main window, as its transient, without being its
        // child (the window set owns every window).
        if (QWindow *overHandle = over->windowHandle()) {
            winId();
            windowHandle()->setTransientParent(overHandle);
        }
        move(over->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    shownFor = paType;
    if (figure) {
        figure->setText(ContinuousPowerLimit(paType));
        FitLabel(figure, width());
    }
    // A newly shown window goes on top of those already showing.
    show();
    // The window takes no focus, so a screen reader hears of it from the
    // alert event and from the main window's announcement.
    NotifyAccessible(this, QAccessible::Alert);
    return true;
}

QString AlarmWindow::AlarmText() const {
    QStringList lines;
    for (const Line &line : design.lines)
        if (line.name)
            lines << LineText(line).simplified();
    return lines.join(QLatin1Char(' '));
}

void AlarmWindow::HideAlarm() {
    if (isVisible())
        hide();
}
