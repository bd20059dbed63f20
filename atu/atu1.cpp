#include "atu/atu1.h"

TFatu1::TFatu1(TWindows &windows, QWidget *parent) : QMainWindow(parent), Windows(windows) {
    setObjectName(QStringLiteral("Fatu1"));
    setWindowTitle(QStringLiteral("ATU Remote Control"));
    setFixedSize(572, 131);
}

void TFatu1::FormCreate() {}
void TFatu1::Panel1Click() {}
void TFatu1::tune1click() {}
void TFatu1::FineTuning1Click() {}
void TFatu1::MemoryClear1Click() {}
void TFatu1::SWRClick(int) {}
void TFatu1::Timer1Timer() {}
