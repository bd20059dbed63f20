// The seven alarm windows, shown on an alarm report and hidden by the
// all-clear.
#pragma once

#include "app/Windows.h"

#include <QWidget>

class TAlarmForm : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAlarmForm)
public:
    TAlarmForm(TWindows &windows, const char *name, const QString &caption,
               QWidget *parent = nullptr);
    TWindows &Windows;

    // Shown centred over the main window on its alarm report; hidden by the
    // all-clear.
    virtual void ShowAlarm();
    void HideAlarm();
};

class TFALARM_HP : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_HP)
public:
    explicit TFALARM_HP(TWindows &windows, QWidget *parent = nullptr);
};

class TFAlarm_ip : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFAlarm_ip)
public:
    explicit TFAlarm_ip(TWindows &windows, QWidget *parent = nullptr);
};

class TFALARM_SWR : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_SWR)
public:
    explicit TFALARM_SWR(TWindows &windows, QWidget *parent = nullptr);
};

class TFalarm_bpf : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFalarm_bpf)
public:
    explicit TFalarm_bpf(TWindows &windows, QWidget *parent = nullptr);
};

class TFalarm_temp : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFalarm_temp)
public:
    explicit TFalarm_temp(TWindows &windows, QWidget *parent = nullptr);
};

class TFALARM_TOT : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_TOT)
public:
    explicit TFALARM_TOT(TWindows &windows, QWidget *parent = nullptr);
};

class TFALARM_HPCONT : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_HPCONT)
public:
    explicit TFALARM_HPCONT(TWindows &windows, QWidget *parent = nullptr);
};
