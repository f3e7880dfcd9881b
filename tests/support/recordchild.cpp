// A copy of the game that only saves or loads the record, for the crash
// and class tests.
//
//   recordchild FOLDER save|load CHANGE die|freeze [LOCKS]
//
// stops right after its given change on disk, either ending itself at
// once, as in a crash, or waiting for a line on its standard input before
// it goes on, as a copy the system holds back. A save stores 1 by "Anna".
// Exits 42 when it ended itself, 0 when it ran to the end first.
//
//   recordchild FOLDER compete SCORE NAME [LOCKS]
//
// waits for a line on its standard input, then saves SCORE by NAME as a
// game that beat the record it read at start would, retrying while another
// copy holds the lock, and prints what the pupil would be told: "saved",
// "standing SCORE NAME" or "failed".
//
// LOCKS is how the system's locks behave: real (the default), failing or
// granted. FOLDER may be a record's web address instead.

#include "records/recordstore.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using namespace segni::records;

int g_changesLeft = 0;
bool g_freeze = false;

void changed()
{
    if (--g_changesLeft != 0)
        return;
    if (!g_freeze)
        std::_Exit(42);
    std::fputs("frozen\n", stdout);
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        std::_Exit(43);
}

fs::SystemLocks systemLocks(const char *name)
{
    if (std::strcmp(name, "failing") == 0)
        return fs::SystemLocks::Failing;
    if (std::strcmp(name, "granted") == 0)
        return fs::SystemLocks::GrantedAtOnce;
    return fs::SystemLocks::Real;
}

int compete(const QString &cartella, const QString &score, const QString &name)
{
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 3;
    Saved outcome = saveRecord(cartella, score, name);
    // As the game does: another copy is saving, try again for a while.
    for (int waited = 0; outcome.error && outcome.error->busy() && waited < 20000; waited += 50) {
        QThread::msleep(50);
        outcome = saveRecord(cartella, score, name, false, 0);
    }
    if (outcome.error)
        std::printf("failed\n");
    else if (outcome.standing)
        std::printf("standing %s %s\n", qPrintable(outcome.standing->score.trimmed()),
                    qPrintable(outcome.standing->holder.trimmed()));
    else
        std::printf("saved\n");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 5)
        return 2;
    // A record on a web server is reached through Qt's event loop.
    QCoreApplication application(argc, argv);
    const QString cartella = withTrailingSeparator(QString::fromLocal8Bit(argv[1]));
    if (std::strcmp(argv[2], "compete") == 0) {
        fs::setTestHooks({nullptr, systemLocks(argc > 5 ? argv[5] : "real")});
        return compete(cartella, QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    }
    g_changesLeft = std::atoi(argv[3]);
    g_freeze = std::strcmp(argv[4], "freeze") == 0;
    fs::setTestHooks({changed, systemLocks(argc > 5 ? argv[5] : "real")});
    if (std::strcmp(argv[2], "save") == 0)
        return saveRecord(cartella, QStringLiteral("1"), QStringLiteral("Anna")).saved() ? 0 : 1;
    return loadRecord(cartella, false).error ? 1 : 0;
}
