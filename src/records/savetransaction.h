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

// How a save waits for another copy's: short pauses of random length, so
// that copies that collided part ways, growing with each try, until they
// add up to the budget.
struct RetryPolicy
{
    int budgetMs = 10000;
    int longestPauseMs = 200;

    // The pause before try number `retry` (1 for the first retry).
    int pauseMs(int retry) const;
};

// Waits about ms milliseconds, letting everything else run.
using Pause = std::function<Answer<Done>(int ms)>;
// A pause on a timer of the event loop.
Pause timerPause();

// Saves the pair when the score beats the stored record.
Task<Saved> saveIfBeaten(RecordStore &store, QString score, QString holder, Pause pause,
                         RetryPolicy policy = {});

} // namespace segni::records
