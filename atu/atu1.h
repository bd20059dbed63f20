// The ATU panel: shows and drives the antenna tuner through the amplifier.
#pragma once

#include "app/Windows.h"

#include <QMainWindow>

class TFatu1 : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFatu1)
public:
    explicit TFatu1(TWindows &windows, QWidget *parent = nullptr);
    TWindows &Windows;
};
