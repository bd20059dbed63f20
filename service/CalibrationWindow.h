// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration window (layout name Form3): instructions, an ALC slider
// with step arrows and the two calibration power buttons. Created at start;
// nothing opens it and nothing in it talks to the amplifier.
#pragma once

#include <QWidget>

class QSlider;

class CalibrationWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CalibrationWindow)
public:
    explicit CalibrationWindow(QWidget *parent = nullptr);

private:
    QSlider *alcSlider = nullptr; // TrackBar1, 0..255; the arrows step it
};
