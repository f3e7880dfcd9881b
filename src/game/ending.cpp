// Ending a game: the exit procedure (button, or the clock running out),
// closing the window from its frame, and the new-game request.

#include "tavola.h"

#include "records/recordstore.h"

namespace segni {

namespace {
const char *const kRecordSaved = "Ok ho registrato il tuo record, C A M P I O N E";
// How long a save waits, in short pauses, for another copy that is saving.
constexpr int kBusyRetryMs = 10 * 1000;
constexpr int kBusyPauseMs = 100;
}

bool beatsRecord(double storedRecord, double score)
{
    return storedRecord < score;
}

void Tavola::saveRecord(const QString &confirmation)
{
    if (m_noSave) {
        // Start-up found the files unusable: they are not written over.
        box({QStringLiteral("Non ho potuto registrare il tuo record: %1 non si può usare\n(%2).")
                 .arg(m_noSave->path, reasonText(*m_noSave)),
             QString(), BoxIcon::Exclamation});
        return;
    }
    const QString score = window().lblScore->caption();
    const QString name = window().lblnome1->caption();
    auto failure = records::saveRecord(cartella, score, name, !m_folderShared);
    // Another copy is saving: try again now and then, letting the clock
    // and the window run meanwhile.
    for (int waited = 0; failure && failure->busy() && waited < kBusyRetryMs;
         waited += kBusyPauseMs) {
        m_platform.pause(kBusyPauseMs);
        if (m_over)
            return;
        failure = records::saveRecord(cartella, score, name, !m_folderShared, 0);
    }
    if (failure) {
        box({QStringLiteral("Non sono riuscito a registrare il record nel file %1\n(%2).")
                 .arg(failure->path, reasonText(*failure)),
             QString(), BoxIcon::Exclamation});
        return;
    }
    box({confirmation});
}

void Tavola::cmdExit_Click()
{
    guarded([this] {
        if (m_ending || m_over)
            return;
        m_ending = true;
        box({QStringLiteral("Ciao ") + window().lblnome1->caption()
                 + QStringLiteral(", alla prossima sfida!"),
             QStringLiteral("Data ") + m_platform.shortDate()});
        if (m_over)
            return;
        if (beatsRecord(storedRecord(), score())) {
            saveRecord(QString::fromLatin1(kRecordSaved));
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
        if (beatsRecord(storedRecord(), score())) {
            saveRecord(QString::fromLatin1(kRecordSaved));
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
        if (beatsRecord(storedRecord(), score())) {
            saveRecord(QString::fromLatin1(kRecordSaved) + QLatin1Char('"'));
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
