#include "atu/atu1.h"

TFatu1::TFatu1(TWindows &windows, QWidget *parent) : QMainWindow(parent), Windows(windows) {
    setObjectName(QStringLiteral("Fatu1"));
    setWindowTitle(QStringLiteral("ATU Remote Control"));
    setFixedSize(572, 131);
}
