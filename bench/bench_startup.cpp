// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: from process start to the main window shown (its first paint).
// Without arguments it starts itself --runs times as a child, passing the
// monotonic clock reading taken just before the start; the child builds
// the application and the windows as the program's entry does and reports
// when the main window has painted.
#include "BenchCommon.h"

#include <QElapsedTimer>
#include <QProcess>

#include <time.h>

namespace {

qint64 MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class FirstPaint : public QObject {
public:
    FirstPaint(QWidget *window, qint64 t0) : window(window), t0(t0) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == window && event->type() == QEvent::Paint && !done) {
            done = true;
            std::printf("%.3f\n", double(MonotonicNs() - t0) / 1e6);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    QWidget *window;
    qint64 t0;
    bool done = false;
};

int Child(int argc, char **argv, qint64 t0) {
    Runtime::TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Orvik Remote Control"));
    app.setApplicationDisplayName(QStringLiteral("Orvik Remote Control"));
    WindowSet windows;
    FirstPaint watch(windows.Main(), t0);
    windows.Main()->installEventFilter(&watch);
    windows.Main()->show();
    return app.exec();
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return Child(argc, argv, QByteArray(argv[2]).toLongLong());

    QCoreApplication app(argc, argv);
    int runs = 10;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--runs")); i > 0 && i + 1 < args.size())
        runs = args.at(i + 1).toInt();
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 t0 = MonotonicNs();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QString::number(t0)});
        if (!child.waitForFinished(10000) || child.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed\n", r);
            return 1;
        }
        ms.push_back(child.readAllStandardOutput().trimmed().toDouble());
    }
    const double median = bench::Percentile(ms, 50);
    bench::Result("startup_median", median, "ms", "< 300", median < 300);
    bench::Info("startup_max", bench::Percentile(ms, 100), "ms");
    return 0;
}
