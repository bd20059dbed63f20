#include "service/Unit3.h"

TForm3::TForm3(TWindows &windows, QWidget *parent) : QWidget(parent), Windows(windows) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Calibration"));
    resize(400, 300);
}
