// The calibration window: created at start and never opened by a command.
#pragma once

#include "app/Windows.h"

#include <QWidget>

class TForm3 : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)
public:
    explicit TForm3(TWindows &windows, QWidget *parent = nullptr);
    TWindows &Windows;
};
