// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: from process start to the main window shown (its first paint).
// Without arguments it starts itself --runs times as a child, passing the
// monotonic clock reading taken just before the start; the child builds
// the application and the windows as the program's entry does and reports
// when the main window has painted. The last run also reports the memory
// each shared library holds at that moment (its resident pages), so the
// cost of each library the panel links is seen.
#include "BenchCommon.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <time.h>

#include <algorithm>
#include <map>

namespace {

qint64 MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// "kB name" for each mapped library, from the process's own map.
void PrintLibraries() {
    QFile f(QStringLiteral("/proc/self/smaps"));
    if (!f.open(QIODevice::ReadOnly))
        return;
    std::map<QByteArray, long> kb;
    QByteArray current;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 6 && fields.at(0).contains('-'))
            current = fields.at(5).contains(".so")
                          ? fields.at(5).mid(fields.at(5).lastIndexOf('/') + 1)
                          : QByteArray();
        else if (!current.isEmpty() && fields.size() >= 2 && fields.at(0) == "Rss:")
            kb[current] += fields.at(1).toLong();
    }
    for (const auto &[name, size] : kb)
        std::printf("%ld %s\n", size, name.constData());
}

class FirstPaint : public QObject {
public:
    FirstPaint(QWidget *window, qint64 t0) : window(window), t0(t0) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == window && event->type() == QEvent::Paint && !done) {
            done = true;
            std::printf("%.3f\n", double(MonotonicNs() - t0) / 1e6);
            if (qEnvironmentVariableIsSet("ORVIK_BENCH_LIBRARIES"))
                PrintLibraries();
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
    std::vector<std::pair<long, QByteArray>> libraries;
    for (int r = 0; r < runs; ++r) {
        QProcess child;
        if (r == runs - 1) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ORVIK_BENCH_LIBRARIES"), QStringLiteral("1"));
            child.setProcessEnvironment(env);
        }
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const qint64 t0 = MonotonicNs();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QString::number(t0)});
        if (!child.waitForFinished(10000) || child.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed\n", r);
            return 1;
        }
        const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
        ms.push_back(lines.value(0).toDouble());
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype space = lines.at(i).indexOf(' ');
            libraries.emplace_back(lines.at(i).left(space).toLong(), lines.at(i).mid(space + 1));
        }
    }
    const double median = bench::Percentile(ms, 50);
    bench::Result("startup_median", median, "ms", "< 300", median < 300);
    bench::Info("startup_max", bench::Percentile(ms, 100), "ms");
    // The libraries by their resident memory, largest first.
    std::sort(libraries.rbegin(), libraries.rend());
    long total = 0;
    for (const auto &[size, name] : libraries)
        total += size;
    bench::Info("libraries_rss", double(total) / 1024.0, "MB");
    for (const auto &[size, name] : libraries)
        bench::Info(("library_rss:" + name).constData(), double(size) / 1024.0, "MB");
    return 0;
}
