// Ending a game: the exit procedure (button, or the clock running out),
// closing the window from its frame, and the new-game request.

#include "tavola.h"

#include "records/recordstore.h"

namespace segni {

namespace {
const char *const kRecordSaved = "Ok ho registrato il tuo record, C A M P I O N E";
}

void Tavola::cmdExit_Click()
{
    guarded([this] {
        if (m_ending || m_over)
            return;
        m_ending = true;
        // The record is on disk before the goodbye: a lesson that ends with
        // the box still open (a logout, a shutdown) keeps it.
        const std::optional<MessageRequest> told =
            saveBeatenRecord(QString::fromLatin1(kRecordSaved));
        if (m_over)
            return;
        box({QStringLiteral("Ciao ") + window().lblnome1->caption()
                 + QStringLiteral(", alla prossima sfida!"),
             QStringLiteral("Data ") + m_platform.shortDate()});
        if (m_over)
            return;
        if (told) {
            box(*told);
            if (m_over)
                return;
        }
        endProgram(0);
    });
}

bool Tavola::Form_QueryClose()
{
    if (m_over)
        return true;
    // The exit procedure is already under way; it ends the program itself.
    if (m_ending)
        return false;
    // Closing the window gives up the game, not a record already won: a
    // beaten record is saved as the exit button would, without the goodbye.
    guarded([this] {
        m_ending = true;
        const std::optional<MessageRequest> told =
            saveBeatenRecord(QString::fromLatin1(kRecordSaved));
        if (m_over)
            return;
        if (told) {
            box(*told);
            if (m_over)
                return;
        }
        endProgram(0);
    });
    return m_over;
}

void Tavola::Next_Click()
{
    guarded([this] {
        if (m_ending || m_over)
            return;
        const BoxAnswer answer = box({QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"),
                                      QStringLiteral("INIZIARE NUOVA GARA"), BoxIcon::Question,
                                      BoxButtons::YesNo, BoxAnswer::No});
        if (m_over || m_ending || answer != BoxAnswer::Yes)
            return;
        m_ending = true;
        const std::optional<MessageRequest> told =
            saveBeatenRecord(QString::fromLatin1(kRecordSaved) + QLatin1Char('"'));
        if (m_over)
            return;
        if (told) {
            box(*told);
            if (m_over)
                return;
        }
        // This window and its clock go at once; the fresh one is built and
        // loaded as soon as this handler has returned.
        m_over = true;
        Timer1->setEnabled(false);
        window().hide();
        m_restart();
    });
}

} // namespace segni
