// SPDX-License-Identifier: GPL-3.0-or-later
// Dispatcher throughput: report lines per second through the amplifier link
// alone (no windows), and through SerialPortReceive with the windows drawing,
// for the traffic of a transmitting amplifier (output and reverse power ten
// times a second, now and then peak power and temperature), with the port
// monitor logging every line. Compared with the line's 960 characters a
// second at 9600 8N1.
#include "BenchCommon.h"

#include "app/MainWindow.h"
#include "link/AmpLink.h"
#include "serial/SerialPort.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"

#include <QElapsedTimer>

namespace {

constexpr double LineRate = 960; // characters per second at 9600 8N1

// About one reader poll's worth of text (100 ms at the line rate), varying
// so that the bars really move.
QList<QByteArray> MakeChunks() {
    QList<QByteArray> chunks;
    for (int i = 0; i < 64; ++i) {
        QByteArray c;
        const int watts = 600 + (i * 37) % 600;
        c += "O: " + QByteArray::number(watts) + "\r\n";
        c += "R: " + QByteArray::number(5 + i % 30) + "\r\n";
        c += "O: " + QByteArray::number(watts + 11) + "\r\n";
        c += "R: " + QByteArray::number(6 + i % 30) + "\r\n";
        if (i % 8 == 0)
            c += "P_max: " + QByteArray::number(watts + 40) + "\r\n";
        if (i % 16 == 0)
            c += "T: " + QByteArray::number(35 + i % 10) + "\r\n";
        if (i % 32 == 0)
            c += "TX: ON\r\n";
        chunks.append(c);
    }
    return chunks;
}

struct Figures {
    double linesPerSecond = 0;
    double charsPerSecond = 0;
};

// Feeds the chunks for about seconds; the event loop runs once every ten
// chunks, so repaints and deferred work are part of the cost.
template <typename Receive>
Figures Measure(Receive receive, const QList<QByteArray> &chunks, double seconds) {
    qint64 lines = 0, chars = 0;
    QElapsedTimer t;
    t.start();
    qint64 n = 0;
    while (t.nsecsElapsed() < qint64(seconds * 1e9)) {
        const QByteArray &c = chunks.at(n % chunks.size());
        receive(c);
        lines += c.count('\r');
        chars += c.size();
        if (++n % 10 == 0)
            QCoreApplication::processEvents();
    }
    const double s = double(t.nsecsElapsed()) / 1e9;
    return {double(lines) / s, double(chars) / s};
}

// Microseconds per call of fn, over about a second.
template <typename F> double MicrosPerCall(F fn) {
    QElapsedTimer t;
    t.start();
    qint64 n = 0;
    while (t.nsecsElapsed() < 1000000000) {
        fn(n);
        if (++n % 100 == 0)
            QCoreApplication::processEvents();
    }
    return double(t.nsecsElapsed()) / 1e3 / double(n);
}

} // namespace

int main(int argc, char **argv) {
    Runtime::TApplication app(argc, argv);
    double seconds = 3;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--seconds")); i > 0 && i + 1 < args.size())
        seconds = args.at(i + 1).toDouble();

    // The link alone: every report interpreted into the state, nothing drawn.
    Figures alone;
    {
        AmpLink link;
        qint64 entries = 0;
        QObject::connect(&link, &AmpLink::EntryLogged, &link, [&entries] { ++entries; });
        try {
            link.ReceiveChunk("PA_QZ9QZ\r\n"); // the burst fails on the closed port
        } catch (const ESerialPortException &) {
        }
        auto receive = [&link](const QByteArray &c) { link.ReceiveChunk(c); };
        Measure(receive, MakeChunks(), 0.3); // warm-up
        alone = Measure(receive, MakeChunks(), seconds);
        if (entries == 0)
            return 1;
    }

    WindowSet windows;
    MainWindow *form = windows.Main();
    const MainUi ui(form);
    form->Link.HandshakeTimer()->stop();
    form->Link.PollTimer()->stop();
    form->show();
    // The amplifier has identified itself: every report is interpreted. On
    // the closed port the start-up burst fails; its error box is not shown.
    Runtime::SetMessageHandler([](const Runtime::MessageBoxCall &) {});
    Runtime::Guarded([&] { form->Link.ReceiveChunk("PA_QZ9QZ\r\n"); });
    QCoreApplication::processEvents();

    const QList<QByteArray> chunks = MakeChunks();
    auto receive = [form](const QByteArray &c) { form->Link.ReceiveChunk(c); };
    Measure(receive, chunks, 0.3); // warm-up
    const Figures hidden = Measure(receive, chunks, seconds);
    windows.Monitor()->show();
    QCoreApplication::processEvents();
    const Figures shown = Measure(receive, chunks, seconds);

    // Where the time goes: the pieces each received line passes through.
    windows.Monitor()->hide();
    QCoreApplication::processEvents();
    const double perEntry = MicrosPerCall(
        [&](qint64 n) { form->Link.Log(QStringLiteral("+ O: ") + QString::number(n % 1000)); });
    const double perLamp = MicrosPerCall([&](qint64) { ui.rxLED->SetValue(!ui.rxLED->Value()); });
    const double perBar = MicrosPerCall([&](qint64 n) { ui.output->SetPosition(int(n % 1200)); });

    const double linkRatio = alone.charsPerSecond / LineRate;
    bench::Info("link_lines_per_s", alone.linesPerSecond, "lines/s");
    bench::Result("link_x_line_rate", linkRatio, "x 960 chars/s", ">= 5000", linkRatio >= 5000);
    const double ratio = hidden.charsPerSecond / LineRate;
    bench::Info("dispatch_lines_per_s", hidden.linesPerSecond, "lines/s");
    bench::Result("dispatch_x_line_rate", ratio, "x 960 chars/s", ">= 1000", ratio >= 1000);
    bench::Info("dispatch_x_line_rate_monitor_shown", shown.charsPerSecond / LineRate,
                "x 960 chars/s");
    bench::Info("cost_monitor_entry", perEntry, "us");
    bench::Info("cost_traffic_lamp_toggle", perLamp, "us");
    bench::Info("cost_output_bar_move", perBar, "us");
    return 0;
}
