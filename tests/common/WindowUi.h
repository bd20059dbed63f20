// The windows' widgets as the tests drive them, by their layout names (each
// widget's objectName), as the documentation names them.
#pragma once

#include "app/MainWindow.h"
#include "atu/AtuPanel.h"
#include "service/PortMonitor.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

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

// The main window's widgets that the tests drive.
struct MainUi {
    MainUi() = default;
    explicit MainUi(const MainWindow *w)
        : openport(Child<TColorButton>(w, QStringLiteral("openport"))),
          closeport(Child<TColorButton>(w, QStringLiteral("closeport"))),
          ComboBox1(Child<QComboBox>(w, QStringLiteral("ComboBox1"))),
          output(Child<TBarMeter>(w, QStringLiteral("output"))),
          swr(Child<TBarMeter>(w, QStringLiteral("swr"))),
          Panel1(Child<TPanel>(w, QStringLiteral("Panel1"))),
          tx_led(Child<TLedLamp>(w, QStringLiteral("tx_led"))),
          rxLED(Child<TLedLamp>(w, QStringLiteral("rxLED"))),
          txled(Child<TLedLamp>(w, QStringLiteral("txled"))),
          ALC1(Child<QLabel>(w, QStringLiteral("ALC1"))),
          P_max1(Child<QLabel>(w, QStringLiteral("P_max1"))),
          P_out(Child<QLabel>(w, QStringLiteral("P_out"))),
          P_max_label(Child<QLabel>(w, QStringLiteral("P_max_label"))),
          Temp1(Child<QGroupBox>(w, QStringLiteral("Temp1"))),
          Temp2(Child<QLabel>(w, QStringLiteral("Temp2"))),
          GroupBox1(Child<QGroupBox>(w, QStringLiteral("GroupBox1"))),
          GroupBox3(Child<QGroupBox>(w, QStringLiteral("GroupBox3"))) {
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

// The ATU panel's widgets that the tests drive.
struct AtuUi {
    AtuUi() = default;
    explicit AtuUi(const AtuPanel *w)
        : Panel1(Child<TPanel>(w, QStringLiteral("Panel1"))),
          Panel2(Child<TPanel>(w, QStringLiteral("Panel2"))),
          tune1(Child<TColorButton>(w, QStringLiteral("tune1"))),
          Led(Child<TLedLamp>(w, QStringLiteral("Led"))),
          Label3(Child<QLabel>(w, QStringLiteral("Label3"))),
          Label4(Child<QLabel>(w, QStringLiteral("Label4"))),
          Label6(Child<QLabel>(w, QStringLiteral("Label6"))),
          Label7(Child<QLabel>(w, QStringLiteral("Label7"))),
          Label8(Child<QLabel>(w, QStringLiteral("Label8"))),
          Image0(Child<QLabel>(w, QStringLiteral("Image0"))),
          Image1(Child<QLabel>(w, QStringLiteral("Image1"))),
          FineTuning1(Action(w, "FineTuning1")) {
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

// The port monitor's widgets that the tests drive.
struct MonitorUi {
    MonitorUi() = default;
    explicit MonitorUi(const PortMonitor *w)
        : Memo1(Child<QPlainTextEdit>(w, QStringLiteral("Memo1"))),
          Memo2(Child<QPlainTextEdit>(w, QStringLiteral("Memo2"))),
          CheckBox1(Child<QCheckBox>(w, QStringLiteral("CheckBox1"))),
          Edit1(Child<QLineEdit>(w, QStringLiteral("Edit1"))),
          Button2(Child<QPushButton>(w, QStringLiteral("Button2"))), Send1(Action(w, "Send1")),
          Savealltofile1(Action(w, "Savealltofile1")) {}
    QPlainTextEdit *Memo1 = nullptr, *Memo2 = nullptr; // live, frozen
    QCheckBox *CheckBox1 = nullptr;                    // "Autoscroll"
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button2 = nullptr; // "Clear"
    QAction *Send1 = nullptr, *Savealltofile1 = nullptr;
};
