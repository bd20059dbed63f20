#include "app/Alarms.h"

#include "app/Unit1.h"
#include "link/AmpLink.h"
#include "widgets/Accessible.h"
#include "widgets/Colors.h"
#include "widgets/Fonts.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QLabel>
#include <QWindow>

namespace {

// An alarm window is an alert named by its text.
class AccessibleAlarm : public QAccessibleWidget {
public:
    explicit AccessibleAlarm(TAlarmForm *form)
        : QAccessibleWidget(form, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return static_cast<TAlarmForm *>(widget())->AlarmText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *AlarmFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("TAlarmForm"))
        if (auto *form = qobject_cast<TAlarmForm *>(object))
            return new AccessibleAlarm(form);
    return nullptr;
}

} // namespace

QString HpcontFigure(bool pa12kWChecked) {
    return pa12kWChecked ? QStringLiteral("600 Watts!") : QStringLiteral("   1.2 kW!");
}

TAlarmForm::TAlarmForm(TWindows &windows, const char *name, const QString &caption, QWidget *parent)
    // No border and no title bar; the window never takes the focus from the
    // main window.
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      Windows(windows) {
    static const bool accessible = [] {
        QAccessible::installFactory(AlarmFactory);
        return true;
    }();
    Q_UNUSED(accessible);
    setObjectName(QLatin1String(name));
    setWindowTitle(caption);
    setFixedSize(396, 198);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clRed));
    pal.setColor(QPalette::WindowText, ToQColor(clWindowText));
    setPalette(pal);
    setAutoFillBackground(true);
}

namespace {
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

QLabel *TAlarmForm::AddLabel(const char *name, const QString &text, int x, int y) {
    auto *label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(SubstituteFontPixels(QStringLiteral("Arial"), 40));
    label->move(x, y);
    FitLabel(label, width());
    return label;
}

void TAlarmForm::ShowAlarm() {
    if (isVisible())
        return;
    if (TForm1 *main = Windows.Form1) {
        // Kept above the main window, as its transient, without being its
        // child (the window set owns every window).
        if (QWindow *mainHandle = main->windowHandle()) {
            winId();
            windowHandle()->setTransientParent(mainHandle);
        }
        const QRect over = main->frameGeometry();
        move(over.center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
    // A newly shown window goes on top of those already showing.
    show();
    // The window takes no focus, so a screen reader hears of it from the
    // alert event and from the main window's announcement.
    NotifyAccessible(this, QAccessible::Alert);
    if (Windows.Form1 && Windows.Form1->Announcer)
        Windows.Form1->Announcer->Announce(QStringLiteral("Alarm: ") + AlarmText());
}

QString TAlarmForm::AlarmText() const {
    QStringList lines;
    for (const QLabel *label : findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
        lines << label->text().simplified();
    return lines.join(QLatin1Char(' '));
}

void TAlarmForm::HideAlarm() {
    if (isVisible())
        hide();
}

TFALARM_HP::TFALARM_HP(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_HP", QStringLiteral("ALARM - HIGH OUTPUT POWER"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("Output Power"), 80, 40);
    Label2 = AddLabel("Label2", QStringLiteral("is too HIGH!"), 96, 104);
}

TFAlarm_ip::TFAlarm_ip(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FAlarm_ip", QStringLiteral("ALARM - HIGH INPUT POWER"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("Input Power"), 104, 40);
    Label2 = AddLabel("Label2", QStringLiteral("is too HIGH!"), 96, 104);
}

TFALARM_SWR::TFALARM_SWR(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_SWR", QStringLiteral("ALARM - HIGH REVERSE POWER"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("Reverse Power"), 64, 40);
    Label2 = AddLabel("Label2", QStringLiteral("is too HIGH!"), 80, 104);
}

TFalarm_bpf::TFalarm_bpf(TWindows &w, QWidget *p)
    : TAlarmForm(w, "Falarm_bpf", QStringLiteral("ALARM - BPF failure"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("Band Pass Filter"), 56, 40);
    Label2 = AddLabel("Label2", QStringLiteral("Failure !"), 128, 104);
}

TFalarm_temp::TFalarm_temp(TWindows &w, QWidget *p)
    : TAlarmForm(w, "Falarm_temp", QStringLiteral("Alarm - Temperature"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("Temperature"), 88, 40);
    Label2 = AddLabel("Label2", QStringLiteral("is too HIGH !"), 88, 104);
}

TFALARM_TOT::TFALARM_TOT(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_TOT", QStringLiteral("ALARM - TIME OF TRANSMIT"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("The transmission time "), 8, 40);
    Label3 = AddLabel("Label3", QStringLiteral("has been exceeded!"), 24, 88);
}

TFALARM_HPCONT::TFALARM_HPCONT(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_HPCONT", QStringLiteral("ALARM - Continoues Power"), p) {
    Label1 = AddLabel("Label1", QStringLiteral("Continuous Output"), 40, 24);
    Label3 = AddLabel("Label3", QStringLiteral("Power Exceeds"), 56, 72);
    Label2 = AddLabel("Label2", HpcontFigure(true), 96, 120);
}

void TFALARM_HPCONT::FormShow() {
    Label2->setText(HpcontFigure(Windows.Link->State().Pa12kW()));
    FitLabel(Label2, width());
}
