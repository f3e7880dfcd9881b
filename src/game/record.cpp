// The record as the game window shows and saves it: the stored pair in the
// record labels, followed while the game runs (other copies of the game may
// share the record folder), and a beaten record saved the moment the game
// ends.

#include "tavola.h"

#include "records/recordstore.h"
#include "records/recordweb.h"

namespace segni {

namespace {

// How long a save waits, in short pauses, for another copy that is saving.
constexpr int kBusyRetryMs = 10 * 1000;
constexpr int kBusyPauseMs = 100;

bool sameRecord(const records::Record &a, const records::Record &b)
{
    return a.score == b.score && a.holder == b.holder;
}

// What the pupil whose record another copy beat meanwhile is told.
QString standingText(const records::Record &standing)
{
    QString holder = standing.holder;
    while (holder.endsWith(QLatin1Char('\n')) || holder.endsWith(QLatin1Char('\r')))
        holder.chop(1);
    const double points = lenientNumber(standing.score);
    const QString score = formatNumber(points, QStringLiteral("####0"))
        + (points == 1 ? QStringLiteral(" punto") : QStringLiteral(" punti"));
    const QString what = holder.isEmpty()
        ? QStringLiteral("il record è stato portato a %1").arg(score)
        : QStringLiteral("%1 ha portato il record a %2").arg(holder, score);
    return QStringLiteral("Mentre giocavi, %1: il tuo punteggio non lo supera.").arg(what);
}

} // namespace

void Tavola::showRecord(const records::Record &record)
{
    m_seen = record;
    window().lblpunti->setCaption(record.score);
    window().lblnome->setCaption(record.holder);
}

void Tavola::refreshRecord()
{
    // Only a folder that could be read at start-up is followed, and the
    // labels change only when the folder does.
    if (!m_seen || m_saving)
        return;
    const std::optional<records::Record> now = records::peekRecord(cartella);
    if (now && !sameRecord(*now, *m_seen))
        showRecord(*now);
}

std::optional<MessageRequest> Tavola::saveBeatenRecord(const QString &confirmation)
{
    if (m_saving || !beatsRecord(storedRecord(), score()))
        return std::nullopt;
    if (m_noSave) {
        // Start-up found the files unusable: they are not written over.
        return MessageRequest{
            QStringLiteral("Non ho potuto registrare il tuo record: %1 non si può usare\n(%2).")
                .arg(m_noSave->path, reasonText(*m_noSave)),
            QString(), BoxIcon::Exclamation};
    }
    m_saving = true;
    const QString score = window().lblScore->caption();
    const QString name = window().lblnome1->caption();
    records::Saved outcome = records::saveRecord(cartella, score, name, !m_folderShared);
    // Another copy is saving: try again now and then, letting the clock
    // and the window run meanwhile.
    for (int waited = 0; outcome.error && outcome.error->busy() && waited < kBusyRetryMs && !m_over;
         waited += kBusyPauseMs) {
        m_platform.pause(kBusyPauseMs);
        outcome = records::saveRecord(cartella, score, name, !m_folderShared, 0);
    }
    m_saving = false;
    if (m_endWhenSaved) {
        endProgram(0);
        return std::nullopt;
    }
    if (outcome.error) {
        const QString where = records::isRecordUrl(outcome.error->path)
            ? QStringLiteral("sul server %1")
            : QStringLiteral("nel file %1");
        return MessageRequest{
            QStringLiteral("Non sono riuscito a registrare il record %1\n(%2).")
                .arg(where.arg(outcome.error->path), reasonText(*outcome.error)),
            QString(), BoxIcon::Exclamation};
    }
    if (outcome.standing) {
        showRecord(*outcome.standing);
        return MessageRequest{standingText(*outcome.standing)};
    }
    showRecord(outcome.written.value_or(
        records::Record{records::decodeFile(records::encodeLine(score)),
                        records::decodeFile(records::encodeLine(name))}));
    return MessageRequest{confirmation};
}

void Tavola::sessionEnding(bool programEnds)
{
    guarded([this, programEnds] {
        // This game is over: the program may be between two games still.
        if (m_over) {
            if (programEnds)
                m_platform.endProgram(0, m_restart);
            return;
        }
        // A save already waits for another copy: it goes on, and the
        // program ends once it is done.
        if (m_saving) {
            m_endWhenSaved = m_endWhenSaved || programEnds;
            return;
        }
        saveBeatenRecord(QString());
        if (programEnds)
            endProgram(0);
    });
}

} // namespace segni
