// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the reply dispatcher in its window: the program's windows
// are created once, offscreen, with the amplifier identified; each input is
// handed in chunks to the serial port's receive event, exactly as the reader
// thread delivers text. Sends fail on the closed port, as in real use with a
// lost device; the error boxes are counted, not shown.
#include "app/MainWindow.h"
#include "app/WindowSet.h"
#include "monitor/PortMonitor.h"
#include "widgets/Runtime.h"

#include <QByteArray>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Panel {
    Panel() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_dispatch";
        static char *argv[] = {name, nullptr};
        app = std::make_unique<Runtime::TApplication>(argc, argv);
        Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &) { ++boxes; });
        windows = std::make_unique<WindowSet>();
        form = windows->Main();
        form->Link.HandshakeTimer()->stop();
        form->Link.PollTimer()->stop();
        // The identification on the closed port: the start-up burst fails
        // (an error box, counted), the amplifier counts as identified.
        form->Link.Port()->OnReceive(form->Link.Port(), "PA_QZ9QZ\r\n");
    }
    std::unique_ptr<Runtime::TApplication> app;
    std::unique_ptr<WindowSet> windows;
    MainWindow *form = nullptr;
    int boxes = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static Panel *panel = new Panel; // lives for the whole run
    if (size == 0)
        return 0;
    MainWindow *form = panel->form;
    const std::uint8_t seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    std::uint32_t r = seed;
    for (qsizetype pos = 0; pos < stream.size();) {
        r = r * 1103515245u + 12345u;
        const qsizetype len = qsizetype(1 + (r >> 16) % 128);
        form->Link.Port()->OnReceive(form->Link.Port(), stream.mid(pos, len));
        pos += len;
    }
    // The log stays bounded however much arrives.
    if (panel->windows->Monitor()->LineCount() > 1000 + 64) {
        std::fprintf(stderr, "port monitor log grew past its bound\n");
        std::abort();
    }
    return 0;
}
