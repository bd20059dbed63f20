// The seven alarm windows: borderless red windows with large black text,
// shown centred over the main window on an alarm report and hidden by the
// all-clear. Only the dispatcher shows and hides them; they take no input.
// A screen reader reads each as an alert whose name is its text, and hears
// it announced when it appears.
#pragma once

#include "app/Windows.h"

#include <QString>
#include <QWidget>

class QLabel;

// The continuous-power limit shown for the PA type: "600 Watts!" when the
// "1 kW or 1.2 kW" type is checked, else "   1.2 kW!".
QString HpcontFigure(bool pa12kWChecked);

class TAlarmForm : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAlarmForm)
public:
    TAlarmForm(TWindows &windows, const char *name, const QString &caption,
               QWidget *parent = nullptr);
    TWindows &Windows;

    // Hidden -> visible: centred over the main window, on top of the alarm
    // windows already showing. Already visible: nothing happens.
    void ShowAlarm();
    // Visible -> hidden; a hidden window is left alone.
    void HideAlarm();
    // The window's text in one line: "Output Power is too HIGH!".
    QString AlarmText() const;

protected:
    // Runs each time the window goes from hidden to visible.
    virtual void FormShow() {}
    // A label of large black text at (x, y), as wide as its text.
    QLabel *AddLabel(const char *name, const QString &text, int x, int y);
};

class TFALARM_HP : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_HP)
public:
    explicit TFALARM_HP(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label2 = nullptr;
};

class TFAlarm_ip : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFAlarm_ip)
public:
    explicit TFAlarm_ip(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label2 = nullptr;
};

class TFALARM_SWR : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_SWR)
public:
    explicit TFALARM_SWR(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label2 = nullptr;
};

class TFalarm_bpf : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFalarm_bpf)
public:
    explicit TFalarm_bpf(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label2 = nullptr;
};

class TFalarm_temp : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFalarm_temp)
public:
    explicit TFalarm_temp(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label2 = nullptr;
};

class TFALARM_TOT : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_TOT)
public:
    explicit TFALARM_TOT(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label3 = nullptr;
};

class TFALARM_HPCONT : public TAlarmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFALARM_HPCONT)
public:
    explicit TFALARM_HPCONT(TWindows &windows, QWidget *parent = nullptr);
    QLabel *Label1 = nullptr, *Label3 = nullptr, *Label2 = nullptr;

protected:
    // Chooses the power figure from the main window's PA type.
    void FormShow() override;
};
