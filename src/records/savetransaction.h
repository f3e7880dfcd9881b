// Saving a record: whichever store keeps it, the game's score is written
// only where it still beats the stored one, read under the store's
// exclusion; a save that another copy's came before tries again after a
// pause. The game and every test copy save this way.
#pragma once

#include "base/task.h"
#include "recordstore.h"

#include <functional>

namespace segni::records {

struct Saved
{
    std::optional<StoreError> error;
    // The stored record was not beaten (another copy saved one at least
    // as high meanwhile): nothing was written, and this pair stands.
    std::optional<Record> standing;
    // Saved: the pair as it now stands.
    std::optional<Record> written;
    // How many times the save found another copy's save under way, paused
    // and tried again.
    int retries = 0;

    bool saved() const { return !error && !standing; }
};

// Milliseconds on a clock that only goes forward.
using Clock = std::function<qint64()>;
// The system's steady clock.
qint64 steadyMs();

// How a save waits for another copy's: short pauses of random length, so
// that copies that collided part ways, growing with each try, until the
// budget has gone by on the clock since the save began (the tries count as
// well as the pauses: a server's may take seconds).
struct RetryPolicy
{
    int budgetMs = 10000;
    int longestPauseMs = 200;
    // Tests whose pauses pass at once give a clock that counts them.
    Clock clock = steadyMs;

    // The pause before try number `retry` (1 for the first retry).
    int pauseMs(int retry) const;
};

// Waits about ms milliseconds, letting everything else run.
using Pause = std::function<Answer<Done>(int ms)>;
// A pause on a timer of the event loop.
Pause timerPause();

// Saves the pair when the score beats the stored record. A pair read back
// that is exactly the one this save wrote, or began to write, is its own,
// whoever completed it: the save counts as done.
Task<Saved> saveIfBeaten(RecordStore &store, QString score, QString holder, Pause pause,
                         RetryPolicy policy = {});

} // namespace segni::records
