// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' widgets as the tests drive them, by their layout names (each
// widget's objectName), as the documentation names them.
#pragma once

#include "app/MainWindow.h"
#include "atu/AtuPanel.h"
#include "monitor/PortMonitor.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWindow>

#include <array>

// A child of a window by its layout name; a missing one ends the run, as a
// test that cannot find its widget would test nothing.
template <typename T = QWidget> T *Child(const QObject *window, const QString &name) {
    T *child = window->findChild<T *>(name);
    if (!child)
        qFatal("%s has no %s", qPrintable(window->objectName()), qPrintable(name));
    return child;
}
inline QAction *Action(const QObject *window, const char *name) {
    return Child<QAction>(window, QLatin1String(name));
}

// The texts of labels, in order.
template <typename Labels> QStringList Texts(const Labels &labels) {
    QStringList out;
    for (const QLabel *l : labels)
        out << l->text();
    return out;
}

// The title an X11 window manager shows: the window's title, followed by
// " \u2014 " and the application's display name if one is set apart from
// the application's name (applicationDisplayName follows the name unless
// it was set on its own).
inline QString SystemTitle(QWidget *w) {
    w->winId();
    const QString title = w->windowHandle()->title();
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(name + QLatin1Char('?'));
    const QString display = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    if (display == name + QLatin1Char('?') || title.endsWith(display))
        return title;
    return title + QStringLiteral(" \u2014 ") + display;
}

// The end of the error a send on a closed port raises.
inline const QString NotOpen = QStringLiteral(" is not open. Serial port is not connected.");

// Points member at the window's child of that layout name.
template <typename T> void Find(const QObject *window, T *&member, const char *name) {
    member = Child<T>(window, QLatin1String(name));
}

// The main window's widgets that the tests drive; the ATU panel's; the port
// monitor's. Each member is named as its widget.
struct MainUi {
    MainUi() = default;
    explicit MainUi(const MainWindow *w) {
        Find(w, openport, "openport"), Find(w, closeport, "closeport");
        Find(w, ComboBox1, "ComboBox1"), Find(w, output, "output"), Find(w, swr, "swr");
        Find(w, Panel1, "Panel1"), Find(w, tx_led, "tx_led"), Find(w, rxLED, "rxLED");
        Find(w, txled, "txled"), Find(w, ALC1, "ALC1"), Find(w, P_max1, "P_max1");
        Find(w, P_out, "P_out"), Find(w, P_max_label, "P_max_label"), Find(w, Temp1, "Temp1");
        Find(w, Temp2, "Temp2"), Find(w, GroupBox1, "GroupBox1"), Find(w, GroupBox3, "GroupBox3");
        for (int i = 0; i < 7; ++i)
            Band[std::size_t(i)] = Child<TShape>(w, QStringLiteral("Band%1").arg(i + 1));
        for (int i = 0; i < 10; ++i)
            BandLabels[std::size_t(i)] =
                Child<QLabel>(GroupBox1, QStringLiteral("Label%1").arg(i + 1));
        for (int i = 0; i < 6; ++i)
            ScaleLabels[std::size_t(i)] = Child<QLabel>(w, QStringLiteral("Label%1").arg(i + 15));
    }
    TColorButton *openport = nullptr, *closeport = nullptr;
    QComboBox *ComboBox1 = nullptr;
    TBarMeter *output = nullptr, *swr = nullptr;
    TPanel *Panel1 = nullptr; // the PTT block
    TLedLamp *tx_led = nullptr, *rxLED = nullptr, *txled = nullptr;
    QLabel *ALC1 = nullptr, *P_max1 = nullptr, *P_out = nullptr, *P_max_label = nullptr;
    QGroupBox *Temp1 = nullptr;
    QLabel *Temp2 = nullptr;
    QGroupBox *GroupBox1 = nullptr, *GroupBox3 = nullptr;
    std::array<TShape *, 7> Band{};
    std::array<QLabel *, 10> BandLabels{};
    std::array<QLabel *, 6> ScaleLabels{};
};

struct AtuUi {
    AtuUi() = default;
    explicit AtuUi(const AtuPanel *w) {
        Find(w, Panel1, "Panel1"), Find(w, Panel2, "Panel2"), Find(w, tune1, "tune1");
        Find(w, Led, "Led"), Find(w, Label3, "Label3"), Find(w, Label4, "Label4");
        Find(w, Label6, "Label6"), Find(w, Label7, "Label7"), Find(w, Label8, "Label8");
        Find(w, Image0, "Image0"), Find(w, Image1, "Image1"), Find(w, FineTuning1, "FineTuning1");
        for (int i = 0; i < 7; ++i)
            SWR[std::size_t(i)] = Child<QAction>(w, QStringLiteral("SWR%1").arg(11 + i));
    }
    TPanel *Panel1 = nullptr, *Panel2 = nullptr; // the in/out switch, the status message
    TColorButton *tune1 = nullptr;
    TLedLamp *Led = nullptr;
    QLabel *Label3 = nullptr, *Label4 = nullptr, *Label6 = nullptr, *Label7 = nullptr,
           *Label8 = nullptr, *Image0 = nullptr, *Image1 = nullptr;
    QAction *FineTuning1 = nullptr;
    std::array<QAction *, 7> SWR{}; // SWR11 .. SWR17
};

struct MonitorUi {
    MonitorUi() = default;
    explicit MonitorUi(const PortMonitor *w) {
        Find(w, Memo1, "Memo1"), Find(w, Memo2, "Memo2"), Find(w, CheckBox1, "CheckBox1");
        Find(w, Edit1, "Edit1"), Find(w, Button2, "Button2"), Find(w, Send1, "Send1");
        Find(w, Savealltofile1, "Savealltofile1");
    }
    QPlainTextEdit *Memo1 = nullptr, *Memo2 = nullptr; // live, frozen
    QCheckBox *CheckBox1 = nullptr;                    // "Autoscroll"
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button2 = nullptr; // "Clear"
    QAction *Send1 = nullptr, *Savealltofile1 = nullptr;
};
