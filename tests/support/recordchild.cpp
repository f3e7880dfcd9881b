// A copy of the game that only saves or loads the record, for the crash
// and class tests.
//
//   recordchild FOLDER save|load CHANGE die|freeze [LOCKS [SCORE]]
//
// stops right after its given change on disk, either ending itself at
// once, as in a crash, or waiting for a line on its standard input before
// it goes on, as a copy the system holds back. A save stores SCORE (1 when
// not given) by "Anna". Exits 42 when it ended itself, else 0 when it ran
// to the end first and the pupil would be told the record is saved, 1 when
// told who holds it.
//
//   recordchild FOLDER compete SCORE NAME [LOCKS]
//
// waits for a line on its standard input, then saves SCORE by NAME as a
// game that beat the record it read at start does (the game's own save,
// with its retries while another copy saves), and prints what the pupil
// would be told: "saved", "standing SCORE NAME" or "failed".
//
// LOCKS is how the system's locks behave: real (the default), failing or
// granted; "server" makes FOLDER a record's web address instead.
// SEGNI_STALE_OWNER_MS in the environment shortens the time another host's
// owner file takes to be stale.

#include "records/folderplace.h"
#include "records/recordfile.h"
#include "records/folderstore.h"
#include "records/savetransaction.h"
#include "records/serverstore.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using namespace segni;
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

Task<> exitWith(Task<int> task, std::optional<int> *status)
{
    status->emplace(co_await std::move(task));
    QCoreApplication::exit(**status);
}

// Runs a task to its end, in the event loop when it waits; the process's
// exit status is what it gives.
int run(Task<int> task)
{
    std::optional<int> status;
    Flows flows;
    flows.start(exitWith(std::move(task), &status));
    if (!status)
        QCoreApplication::exec();
    return status.value_or(4);
}

Task<int> compete(RecordStore &store, QString score, QString name)
{
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        co_return 3;
    const Saved outcome = co_await saveIfBeaten(store, score, name, timerPause());
    if (outcome.error)
        std::printf("failed\n");
    else if (outcome.standing)
        std::printf("standing %s %s\n", qPrintable(outcome.standing->score.trimmed()),
                    qPrintable(outcome.standing->holder.trimmed()));
    else
        std::printf("saved\n");
    co_return 0;
}

Task<int> saveOne(RecordStore &store, QString score)
{
    const Saved outcome = co_await saveIfBeaten(store, score, QStringLiteral("Anna"), timerPause());
    co_return outcome.saved() ? 0 : 1;
}

Task<int> loadOnce(RecordStore &store)
{
    const Loaded loaded = co_await store.load();
    co_return loaded.error ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 5)
        return 2;
    QCoreApplication application(argc, argv);
    const QString place = QString::fromLocal8Bit(argv[1]);
    const char *locks = argc > 5 ? argv[5] : "real";
    std::unique_ptr<RecordStore> store;
    if (std::strcmp(locks, "server") == 0)
        store = std::make_unique<ServerStore>(place);
    else
        store = std::make_unique<FolderStore>(withTrailingSeparator(place), false);
    const int staleMs = qEnvironmentVariableIntValue("SEGNI_STALE_OWNER_MS");
    if (std::strcmp(argv[2], "compete") == 0) {
        fs::setTestHooks({nullptr, systemLocks(locks), staleMs});
        return run(compete(*store, QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4])));
    }
    g_changesLeft = std::atoi(argv[3]);
    g_freeze = std::strcmp(argv[4], "freeze") == 0;
    fs::setTestHooks({changed, systemLocks(locks), staleMs});
    if (std::strcmp(argv[2], "save") == 0)
        return run(saveOne(*store, QString::fromLatin1(argc > 6 ? argv[6] : "1")));
    return run(loadOnce(*store));
}
