#include "savetransaction.h"

#include "recordtext.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

namespace segni::records {

int RetryPolicy::pauseMs(int retry) const
{
    const int longest = std::min(20 + 10 * retry, longestPauseMs);
    return QRandomGenerator::global()->bounded(5, longest + 1);
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
    int paused = 0;
    for (;;) {
        const Begun begun = co_await store.beginSave();
        bool again = begun.busy;
        if (begun.error) {
            outcome.error = begun.error;
            co_return outcome;
        }
        if (begun.held) {
            const Record stored = begun.held->stored();
            if (!beatsStoredScore(stored.score, score)) {
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
            again = true;
        }
        if (!again || paused >= policy.budgetMs)
            break;
        ++outcome.retries;
        const int ms = policy.pauseMs(outcome.retries);
        paused += ms;
        co_await pause(ms);
    }
    outcome.error = store.busyError();
    co_return outcome;
}

} // namespace segni::records
