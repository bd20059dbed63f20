#include "app/Alarms.h"

TAlarmForm::TAlarmForm(TWindows &windows, const char *name, const QString &caption,
                       QWidget *parent)
    : QWidget(parent), Windows(windows) {
    setObjectName(QLatin1String(name));
    setWindowTitle(caption);
    setFixedSize(396, 198);
}

void TAlarmForm::ShowAlarm() { show(); }

void TAlarmForm::HideAlarm() { hide(); }

TFALARM_HP::TFALARM_HP(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_HP", QStringLiteral("ALARM - HIGH OUTPUT POWER"), p) {}
TFAlarm_ip::TFAlarm_ip(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FAlarm_ip", QStringLiteral("ALARM - HIGH INPUT POWER"), p) {}
TFALARM_SWR::TFALARM_SWR(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_SWR", QStringLiteral("ALARM - HIGH REVERSE POWER"), p) {}
TFalarm_bpf::TFalarm_bpf(TWindows &w, QWidget *p)
    : TAlarmForm(w, "Falarm_bpf", QStringLiteral("ALARM - BPF failure"), p) {}
TFalarm_temp::TFalarm_temp(TWindows &w, QWidget *p)
    : TAlarmForm(w, "Falarm_temp", QStringLiteral("Alarm - Temperature"), p) {}
TFALARM_TOT::TFALARM_TOT(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_TOT", QStringLiteral("ALARM - TIME OF TRANSMIT"), p) {}
TFALARM_HPCONT::TFALARM_HPCONT(TWindows &w, QWidget *p)
    : TAlarmForm(w, "FALARM_HPCONT", QStringLiteral("ALARM - Continoues Power"), p) {}
