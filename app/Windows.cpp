#include "app/Windows.h"

#include "app/Alarms.h"
#include "app/Unit1.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "service/Unit3.h"

TWindowSet::TWindowSet() {
    // Created in this order; every window but the first starts hidden.
    owned[0].reset(w.Form1 = new TForm1(w));
    owned[1].reset(w.Form2 = new TForm2(w));
    owned[2].reset(w.Form3 = new TForm3(w));
    owned[3].reset(w.FALARM_HP = new TFALARM_HP(w));
    owned[4].reset(w.FAlarm_ip = new TFAlarm_ip(w));
    owned[5].reset(w.FALARM_SWR = new TFALARM_SWR(w));
    owned[6].reset(w.Falarm_bpf = new TFalarm_bpf(w));
    owned[7].reset(w.Falarm_temp = new TFalarm_temp(w));
    owned[8].reset(w.FALARM_TOT = new TFALARM_TOT(w));
    owned[9].reset(w.FALARM_HPCONT = new TFALARM_HPCONT(w));
    owned[10].reset(w.Fatu1 = new TFatu1(w));
}

TWindowSet::~TWindowSet() {
    // The main window first closes the port, whose last events may still
    // write into the other windows; then the rest go in reverse order.
    owned[0].reset();
    w.Form1 = nullptr;
    for (int i = 10; i >= 1; --i)
        owned[i].reset();
}
