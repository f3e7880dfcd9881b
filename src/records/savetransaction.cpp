#include "savetransaction.h"

#include "recordtext.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace segni::records {

int RetryPolicy::pauseMs(int retry) const
{
    const int longest = std::min(20 + 10 * retry, longestPauseMs);
    return QRandomGenerator::global()->bounded(5, longest + 1);
}

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Pause timerPause()
{
    return [](int ms) {
        return Answer<Done>([ms](Answer<Done>::Callback done) {
            QTimer::singleShot(ms, QCoreApplication::instance(), [done] { done(Done{}); });
        });
    };
}

Task<Saved> saveIfBeaten(RecordStore &store, QString score, QString holder, Pause pause,
                         RetryPolicy policy)
{
    Saved outcome;
    const qint64 deadline = policy.clock() + policy.budgetMs;
    // The pair this save wrote or began to write: a copy held back in the
    // middle of its save may find it completed by another.
    std::optional<Record> attempted;
    for (;;) {
        bool again = false;
        {
            // The try, and whatever exclusion it holds, goes before the pause.
            const Begun begun = co_await store.beginSave();
            again = begun.busy;
            if (begun.error) {
                outcome.error = begun.error;
                co_return outcome;
            }
            if (begun.held) {
                const Record stored = begun.held->stored();
                if (!beatsStoredScore(stored.score, score)) {
                    if (attempted && stored == *attempted)
                        outcome.written = stored;
                    else
                        outcome.standing = stored;
                    co_return outcome;
                }
                const Written written = co_await begun.held->write(score, holder);
                if (written.error) {
                    outcome.error = written.error;
                    co_return outcome;
                }
                if (!written.overtaken) {
                    outcome.written = written.pair;
                    co_return outcome;
                }
                if (written.pair)
                    attempted = written.pair;
                again = true;
            }
        }
        if (!again || policy.clock() >= deadline)
            break;
        ++outcome.retries;
        co_await pause(policy.pauseMs(outcome.retries));
    }
    outcome.error = store.busyError();
    co_return outcome;
}

} // namespace segni::records
