// Saves to the school's web server: lighttpd or Apache as its documentation
// sets it up, on 127.0.0.1. COPIES processes save at once, round after round, each its own share
// of 100 rising scores, so that saves overtake one another as a class's do;
// each save is timed, and the times a save was overtaken (a 412 answer,
// then read and decided again) are counted.
//
//   bench_websave [COPIES [KIND]]  report the median and worst of 100, on
//                                  lighttpd (the default) or apache
//   bench_websave URL FIRST STEP N one copy: N saves from FIRST by STEP,
//                                  each when a line comes on its input

#include "records/savetransaction.h"
#include "records/serverstore.h"
#include "schoolserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace segni;

namespace {

constexpr int kSaves = 100;

Task<> saveInTurn(QString url, int first, int step, int count)
{
    records::ServerStore store(url);
    for (int i = 0; i < count; ++i) {
        if (std::getchar() == EOF) // released together with the other copies
            break;
        QElapsedTimer timer;
        timer.start();
        const records::Saved saved = co_await records::saveIfBeaten(
            store, QString::number(first + i * step), QStringLiteral("Anna"), records::timerPause());
        const double ms = timer.nsecsElapsed() / 1e6;
        std::printf("%.3f %d %s\n", ms, saved.retries, saved.error ? "failed" : "done");
        std::fflush(stdout);
    }
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc == 5) {
        Flows flows;
        flows.start(saveInTurn(QString::fromLocal8Bit(argv[1]), std::atoi(argv[2]),
                               std::atoi(argv[3]), std::atoi(argv[4])));
        return QCoreApplication::exec();
    }
    const int copies = argc > 1 ? std::max(1, std::atoi(argv[1])) : 4;
    testing::SchoolServer server(argc > 2 ? QString::fromLocal8Bit(argv[2])
                                          : QStringLiteral("lighttpd"));
    if (const QString why = server.start(); !why.isEmpty()) {
        std::printf("not measured: %s\n", qPrintable(why));
        return 0;
    }
    std::vector<std::unique_ptr<QProcess>> running;
    for (int copy = 0; copy < copies; ++copy) {
        running.push_back(std::make_unique<QProcess>());
        running.back()->start(QCoreApplication::applicationFilePath(),
                              {server.url(), QString::number(copy + 1), QString::number(copies),
                               QString::number(kSaves / copies)});
        running.back()->waitForStarted();
    }
    // Round after round, every copy saves at the same moment, as a class
    // whose clocks end together.
    std::vector<double> times;
    int retries = 0;
    int failed = 0;
    for (int round = 0; round < kSaves / copies; ++round) {
        for (const auto &process : running)
            process->write("\n");
        for (const auto &process : running)
            process->waitForBytesWritten(10000);
        for (const auto &process : running) {
            while (!process->canReadLine() && process->waitForReadyRead(30000)) {
            }
            const QList<QByteArray> fields = process->readLine().trimmed().split(' ');
            if (fields.size() != 3)
                continue;
            times.push_back(fields[0].toDouble());
            retries += fields[1].toInt();
            failed += fields[2] == "failed" ? 1 : 0;
        }
    }
    for (const auto &process : running) {
        process->closeWriteChannel();
        process->waitForFinished(30000);
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        std::printf("not measured: no save finished\n");
        return 1;
    }
    std::printf("%zu saves by %d copies at once: median %.2f ms, worst %.2f ms; "
                "tried again (412, a version a second old, a record read back not its "
                "own): %d; failed: %d\n",
                times.size(), copies, times[times.size() / 2], times.back(), retries, failed);
    return 0;
}
