// The fifteen-minute clock: one tick a second, and the end of the game one
// tick after the display reaches 00:00:00.

#include "tavola.h"

namespace segni {

namespace {
// The clock's start. The web page's test build (and only it) starts it
// shorter, so that a browser test can see the time run out.
#ifdef SEGNI_TEST_CLOCK_SECONDS
constexpr int kClockStartSeconds = SEGNI_TEST_CLOCK_SECONDS;
#else
constexpr int kClockStartSeconds = 15 * 60;
#endif
} // namespace

void countDownOneSecond(Integer &ore, Integer &minuti, float &secondi)
{
    if (secondi == 0) {
        if (minuti > 0) {
            minuti = subtract(minuti, 1);
            secondi = 60;
        } else if (ore > 0) {
            ore = subtract(ore, 1);
            minuti = 59;
            secondi = 60;
        }
    }
    secondi = secondi - 1;
}

QString clockText(Integer ore, Integer minuti, float secondi)
{
    const QString twoDigits = QStringLiteral("00");
    return formatNumber(ore, twoDigits) + QLatin1Char(':') + formatNumber(minuti, twoDigits)
        + QLatin1Char(':') + formatNumber(secondi, twoDigits);
}

void Tavola::StartClock()
{
    Timer1->setEnabled(true);
    ore = 0;
    minuti = kClockStartSeconds / 60;
    secondi = kClockStartSeconds % 60;
    window().lblconto->setCaption(clockText(ore, minuti, secondi));
}

void Tavola::Timer1_Timer()
{
    // Once the game is ending (its own boxes may still be open), ticks
    // change nothing: each game ends exactly once.
    if (m_phase == Phase::Ending || m_phase == Phase::Over)
        return;
    try {
        // Time is up: whatever box is open goes, and the handler waiting in
        // it never resumes.
        if (window().lblconto->caption() == timeUpText()) {
            cmdExit_Click();
            return;
        }
        countDownOneSecond(ore, minuti, secondi);
        window().lblconto->setCaption(clockText(ore, minuti, secondi));
    } catch (const RuntimeError &error) {
        handle(runTimeError(error));
    }
}

} // namespace segni
