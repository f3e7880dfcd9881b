// The record as the game window shows and saves it: the stored pair read at
// start-up and shown in the record labels, followed while the game runs
// (other copies of the game may share the record), and a beaten record
// saved the moment the game ends, once, whichever ending asks first.

#include "tavola.h"

#include "records/openstore.h"
#include "records/savetransaction.h"

namespace segni {

namespace {

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

MessageRequest warning(const QString &text)
{
    return MessageRequest{text, QString(), BoxIcon::Exclamation};
}

} // namespace

// One save of this game's score, which every ending joins.
struct Tavola::SaveUnderWay
{
    QString score;
    Outcome<records::Saved> outcome;
};

Task<> Tavola::openRecord(records::RecordPlace place)
{
    const auto noRecord = [this] {
        window().lblpunti->setCaption(QStringLiteral("0"));
        window().lblnome->setCaption(QString());
    };
    // Without a usable record the game still runs; the record counts as 0,
    // and what is there is left as it is.
    if (place.problem) {
        m_noSave = {place.problem->file, reasonText(*place.problem)};
        co_await ask(warning(
            QStringLiteral("Non riesco a usare l'impostazione della cartella dei record %1\n(%2).\n\n"
                           "Si gioca lo stesso, ma il record non è disponibile.")
                .arg(place.problem->file, reasonText(*place.problem))));
        noRecord();
        co_return;
    }
    cartella = place.where;
    m_store = records::openStore(place, pause());
    const records::Loaded loaded = co_await m_store->load();
    if (loaded.error) {
        m_noSave = {unusableName(*loaded.error), reasonText(*loaded.error)};
        co_await ask(warning(unusableText(*loaded.error)
                             + QStringLiteral("\n\nSi gioca lo stesso, ma il record precedente non "
                                              "è disponibile.")));
        noRecord();
        co_return;
    }
    if (loaded.readOnly) {
        m_noSave = {unusableName(*loaded.readOnly), reasonText(*loaded.readOnly)};
        co_await ask(warning(readOnlyText(*loaded.readOnly)
                             + QStringLiteral("\n\nSi gioca lo stesso, ma un nuovo record non "
                                              "potrà essere registrato.")));
    } else if (loaded.unsafe) {
        co_await ask(warning(unsafeText(*loaded.unsafe)
                             + QStringLiteral("\n\nSi gioca lo stesso, ma se due giochi registrano "
                                              "un record nello stesso momento potrebbe restare "
                                              "il più basso.")));
    }
    showRecord(loaded.record);
}

void Tavola::showRecord(const records::Record &record)
{
    m_seen = record;
    window().lblpunti->setCaption(record.score);
    window().lblnome->setCaption(record.holder);
}

void Tavola::refreshRecord()
{
    // Only a record that could be read at start-up is followed, one request
    // at a time, and the labels change only when the record does.
    if (!m_seen || !m_store || m_peeking || m_phase != Phase::Playing)
        return;
    m_peeking = true;
    handle(peekRecord(m_recordVersion));
}

Task<> Tavola::peekRecord(int version)
{
    const std::optional<records::Record> now = co_await m_store->peek();
    m_peeking = false;
    if (now && version == m_recordVersion && m_phase == Phase::Playing && !(*now == *m_seen))
        showRecord(*now);
}

std::shared_ptr<Tavola::SaveUnderWay> Tavola::startSave()
{
    auto save = std::make_shared<SaveUnderWay>();
    save->score = window().lblScore->caption();
    m_save = save;
    ++m_recordVersion;
    handle(runSave(save, window().lblnome1->caption()));
    return save;
}

records::Pause Tavola::pause()
{
    return [this](int ms) {
        return Answer<Done>([this, ms](Answer<Done>::Callback done) {
            m_platform.after(ms, [done] { done(Done{}); });
        });
    };
}

Task<> Tavola::runSave(std::shared_ptr<SaveUnderWay> save, QString name)
{
    records::RetryPolicy policy;
    policy.clock = [this] { return m_platform.steadyMs(); };
    records::Saved outcome;
    try {
        outcome = co_await records::saveIfBeaten(*m_store, save->score, name, pause(), policy);
    } catch (const RuntimeError &) {
        // The error's report ends the program; it waits for no save that
        // will never finish.
        if (m_save == save)
            m_save.reset();
        throw;
    }
    ++m_recordVersion;
    if (m_save == save)
        m_save.reset();
    if (m_phase != Phase::Over) {
        if (outcome.standing)
            showRecord(*outcome.standing);
        else if (outcome.written)
            showRecord(*outcome.written);
    }
    if (m_phase == Phase::Saving)
        m_phase = Phase::Playing;
    save->outcome.set(outcome);
}

Task<> Tavola::joinSave()
{
    if (const std::shared_ptr<SaveUnderWay> save = m_save)
        co_await save->outcome.wait();
}

Task<std::optional<MessageRequest>> Tavola::settleRecord(QString confirmation)
{
    std::optional<MessageRequest> told;
    for (;;) {
        std::shared_ptr<SaveUnderWay> save = m_save;
        if (!save) {
            if (m_phase == Phase::Over || !beatsRecord(storedRecord(), score()))
                break;
            if (m_noSave) {
                // Start-up found the record unusable: it is not written over.
                told = warning(QStringLiteral("Non ho potuto registrare il tuo record: %1 non si può "
                                              "usare\n(%2).")
                                   .arg(m_noSave->first, m_noSave->second));
                break;
            }
            if (!m_store)
                break;
            save = startSave();
        }
        const records::Saved outcome = co_await save->outcome.wait();
        if (outcome.error) {
            told = warning(saveFailedText(*outcome.error));
            break;
        }
        told = outcome.standing ? MessageRequest{standingText(*outcome.standing)}
                                : MessageRequest{confirmation};
        // A save under way when this game scored again saved the lower
        // score: the new one is saved in turn.
    }
    co_return told;
}

} // namespace segni
