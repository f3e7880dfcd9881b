// Ending a game: the exit procedure (button, or the clock running out),
// closing the window from its frame, the new-game request, and the end of
// the desktop session. Each ending saves a beaten record first, or joins
// the save under way, and only then says goodbye or ends.

#include "tavola.h"

namespace segni {

namespace {
const char *const kRecordSaved = "Ok ho registrato il tuo record, C A M P I O N E";
}

bool Tavola::beginEnding()
{
    if (m_phase == Phase::Ending || m_phase == Phase::Over)
        return false;
    m_phase = Phase::Ending;
    m_platform.closeBoxes();
    return true;
}

void Tavola::cmdExit_Click()
{
    if (beginEnding())
        handle(exitProcedure());
}

Task<> Tavola::exitProcedure()
{
    // The record is saved before the goodbye: a lesson that ends with the
    // box still open (a logout, a shutdown) keeps it.
    const QString saved = QString::fromLatin1(kRecordSaved);
    const std::optional<MessageRequest> told = co_await settleRecord(saved);
    if (m_phase == Phase::Over)
        co_return;
    co_await ask({QStringLiteral("Ciao ") + window().lblnome1->caption()
                      + QStringLiteral(", alla prossima sfida!"),
                  QStringLiteral("Data ") + m_platform.shortDate()});
    if (told)
        co_await ask(*told);
    endProgram(0);
}

bool Tavola::Form_QueryClose()
{
    // Closing the window gives up the game, not a record already won: a
    // beaten record is saved as the exit button would, without the
    // goodbye. While another ending is under way the window stays; that
    // ending ends the program itself.
    if (beginEnding())
        handle(closeProcedure());
    return m_phase == Phase::Over;
}

Task<> Tavola::closeProcedure()
{
    const QString saved = QString::fromLatin1(kRecordSaved);
    const std::optional<MessageRequest> told = co_await settleRecord(saved);
    if (m_phase == Phase::Over)
        co_return;
    if (told)
        co_await ask(*told);
    endProgram(0);
}

void Tavola::Next_Click()
{
    if (m_phase == Phase::Playing || m_phase == Phase::Saving)
        handle(newGameRequest());
}

Task<> Tavola::newGameRequest()
{
    const BoxAnswer answer = co_await ask({QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"),
                                           QStringLiteral("INIZIARE NUOVA GARA"), BoxIcon::Question,
                                           BoxButtons::YesNo, BoxAnswer::No});
    if (answer != BoxAnswer::Yes || !beginEnding())
        co_return;
    const QString saved = QString::fromLatin1(kRecordSaved) + QLatin1Char('"');
    const std::optional<MessageRequest> told = co_await settleRecord(saved);
    if (m_phase == Phase::Over)
        co_return;
    if (told)
        co_await ask(*told);
    // This window and its clock go at once; the fresh one is built and
    // loaded once control is back in the event loop.
    m_phase = Phase::Over;
    Timer1->setEnabled(false);
    window().hide();
    m_restart();
}

bool Tavola::sessionEnding(bool programEnds)
{
    switch (m_phase) {
    case Phase::Over:
        // The program may be between two games.
        if (programEnds)
            m_platform.endProgram(0, m_restart);
        return false;
    case Phase::Playing:
        if (!programEnds) {
            // The session manager asks programs to save their work: the
            // record is saved at once, and the game goes on.
            if (m_store && !m_noSave && !m_save && beatsRecord(storedRecord(), score())) {
                m_phase = Phase::Saving;
                startSave();
            }
            return m_save != nullptr;
        }
        break;
    case Phase::Saving:
    case Phase::Ending:
        // The save under way, or the ending's own, keeps the record.
        if (!programEnds)
            return m_save != nullptr;
        break;
    }
    // The system asks the program to end: no box may wait for a pupil who
    // is gone, and the program ends once the record is saved.
    m_phase = Phase::Ending;
    handle(endAtSessionsEnd());
    return m_save != nullptr;
}

Task<> Tavola::endAtSessionsEnd()
{
    const QString nobodyToTell;
    co_await settleRecord(nobodyToTell);
    endProgram(0);
}

} // namespace segni
