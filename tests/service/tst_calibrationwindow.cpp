// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration window: the arrows step the ALC slider within 0..255; the
// power buttons do nothing.
#include "service/CalibrationWindow.h"
#include "tests/common/WindowUi.h"

#include <QSlider>
#include <QTest>

class TestCalibrationWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arrows() {
        CalibrationWindow window;
        auto *slider = Child<QSlider>(&window, QStringLiteral("TrackBar1"));
        auto button = [&](const char *name) {
            return Child<QPushButton>(&window, QLatin1String(name));
        };
        // {start, right arrow, expected}
        const int steps[][3] = {{0, 0, 0}, {0, 1, 1}, {128, 0, 127}, {255, 1, 255}, {255, 0, 254}};
        for (const auto &s : steps) {
            slider->setValue(s[0]);
            button(s[1] ? "Button2" : "Button1")->click();
            QCOMPARE(slider->value(), s[2]);
        }
        button("Button3")->click();
        button("Button4")->click();
        QCOMPARE(slider->value(), 254);
    }
};

QTEST_MAIN(TestCalibrationWindow)
#include "tst_calibrationwindow.moc"
