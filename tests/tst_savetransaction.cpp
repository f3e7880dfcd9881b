// A save, whichever store keeps the record: it writes only a score that
// beats the pair read under the store's exclusion, says who holds the
// record otherwise, and tries again after a pause when another copy's save
// is under way or came first, for as long as the retry policy allows. And
// the flows a save runs in, tasks nested in tasks that wait for answers.

#include "fakeplatform.h"

#include <QTest>

using namespace segni;
using namespace segni::records;
using namespace segni::testing;

namespace {

// A store whose tries go as scripted, one letter a try: b, busy; o, the
// stored pair is read but the write is overtaken; w, it is written; r, the
// store refuses to begin; f, the write fails. Each try reads the pair
// given for it, "score" or "score holder" (the last one again once they
// run out), and takes tryMs on the clock.
class ScriptedStore : public RecordStore
{
public:
    QString script;
    QStringList storedScores;
    int tryMs = 0;
    qint64 clock = 0;
    int tries = 0;
    int writes = 0;
    int tryingNow = 0; // tries begun and not yet gone

    Task<Loaded> load() override { co_return Loaded{}; }
    Task<std::optional<Record>> peek() override { co_return std::nullopt; }

    Task<Begun> beginSave() override
    {
        const QChar step = script.at(std::min<qsizetype>(tries, script.size() - 1));
        const QStringList pair =
            storedScores.value(std::min<qsizetype>(tries, storedScores.size() - 1)).split(QLatin1Char(' '));
        ++tries;
        clock += tryMs;
        Begun begun;
        if (step == QLatin1Char('b'))
            begun.busy = true;
        else if (step == QLatin1Char('r'))
            begun.error = FileError{QString(), QStringLiteral("r"), FileProblem::Denied};
        else
            begun.held = std::make_unique<Try>(
                *this, step, Record{pair[0] + "\r\n", pair.value(1, QStringLiteral("Bea")) + "\r\n"});
        co_return begun;
    }
    StoreError busyError() const override { return BrowserError{BrowserProblem::Busy}; }

private:
    class Try : public SaveTry
    {
    public:
        Try(ScriptedStore &store, QChar step, Record stored)
            : m_store(store)
            , m_step(step)
            , m_stored(std::move(stored))
        {
            ++m_store.tryingNow;
        }
        ~Try() override { --m_store.tryingNow; }
        const Record &stored() const override { return m_stored; }
        Task<Written> write(const QString &score, const QString &holder) override
        {
            ++m_store.writes;
            Written written;
            written.overtaken = m_step == QLatin1Char('o');
            if (m_step == QLatin1Char('f'))
                written.error = FileError{QString(), QStringLiteral("f"), FileProblem::NoSpace};
            written.pair = Record{score + "\r\n", holder + "\r\n"};
            co_return written;
        }

    private:
        ScriptedStore &m_store;
        QChar m_step;
        Record m_stored;
    };
};

// A flow three tasks deep, waiting for one answer at the bottom; each
// frame holds a copy of the token while it is there.
using Token = std::shared_ptr<int>;

Task<int> waitDeep(Token, Answer<Done>::Callback &answer, bool fails)
{
    co_await Answer<Done>([&answer](Answer<Done>::Callback done) { answer = std::move(done); });
    if (fails)
        throw overflowError();
    co_return 1;
}

Task<int> waitBelow(Token token, Answer<Done>::Callback &answer, bool fails)
{
    co_return co_await waitDeep(token, answer, fails) + 1;
}

Task<> waitOnTop(Token token, Answer<Done>::Callback &answer, bool fails, QString &outcome)
{
    try {
        outcome = QString::number(co_await waitBelow(token, answer, fails));
    } catch (const RuntimeError &error) {
        outcome = error.message();
    }
}

} // namespace

class SaveTransactionTest : public QObject
{
    Q_OBJECT
private slots:
    void savesOnlyWhatBeatsTheStoredRecord_data();
    void savesOnlyWhatBeatsTheStoredRecord();
    void flowsEndWholeOrNotAtAll_data();
    void flowsEndWholeOrNotAtAll();
};

void SaveTransactionTest::savesOnlyWhatBeatsTheStoredRecord_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("outcome"); // saved, standing N, error, busy
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("tryMs"); // how long each try takes
    QTest::newRow("beaten") << "w" << QStringList{"1"} << "saved" << 1 << 0 << 0;
    QTest::newRow("equalled: the stored one stands") << "w" << QStringList{"5"} << "standing 5" << 0 << 0 << 0;
    QTest::newRow("unreadable stored score counts as 0") << "w" << QStringList{"boh"} << "saved" << 1 << 0 << 0;
    QTest::newRow("busy twice, then free") << "bbw" << QStringList{"1"} << "saved" << 1 << 2 << 0;
    QTest::newRow("overtaken by a lower score, saved on the next try")
        << "ow" << QStringList{"1", "3"} << "saved" << 2 << 1 << 0;
    QTest::newRow("overtaken by a higher score, which stands")
        << "ow" << QStringList{"1", "7"} << "standing 7" << 1 << 1 << 0;
    QTest::newRow("busy for good: gives up once the policy's time is spent")
        << "b" << QStringList{"1"} << "busy" << 0 << -1 << 0;
    QTest::newRow("the store refuses") << "r" << QStringList{"1"} << "error" << 0 << 0 << 0;
    QTest::newRow("the write fails: not tried again") << "f" << QStringList{"1"} << "error" << 1 << 0 << 0;
    // Held back in the middle of its write, it was overtaken by a copy that
    // completed its pair.
    QTest::newRow("overtaken, and its own pair is what stands: saved")
        << "ow" << QStringList{"1", "5 Anna"} << "saved" << 1 << 1 << 0;
    // A server that takes seconds to answer: the budget is the clock's.
    QTest::newRow("busy, each try taking 4 s: gives up once the budget has gone by")
        << "b" << QStringList{"1"} << "busy" << 0 << 2 << 4000;
}

void SaveTransactionTest::savesOnlyWhatBeatsTheStoredRecord()
{
    QFETCH(QString, script);
    QFETCH(QStringList, stored);
    QFETCH(QString, outcome);
    QFETCH(int, writes);
    QFETCH(int, retries);
    QFETCH(int, tryMs);
    ScriptedStore store;
    store.script = script;
    store.storedScores = stored;
    store.tryMs = tryMs;
    int paused = 0;
    bool heldWhilePaused = false;
    const Pause pause = [&](int ms) {
        paused += ms;
        store.clock += ms;
        heldWhilePaused = heldWhilePaused || store.tryingNow > 0;
        return Answer<Done>([](Answer<Done>::Callback done) { done(Done{}); });
    };
    RetryPolicy policy;
    policy.clock = [&store] { return store.clock; };
    const Saved saved =
        finished(saveIfBeaten(store, QStringLiteral("5"), QStringLiteral("Anna"), pause, policy));
    // Nothing a try holds (a lock) is held through a pause.
    QVERIFY(!heldWhilePaused);
    QString got = saved.saved() ? QStringLiteral("saved") : QStringLiteral("error");
    if (saved.standing)
        got = QStringLiteral("standing ") + saved.standing->score.trimmed();
    else if (saved.error && std::holds_alternative<BrowserError>(*saved.error))
        got = QStringLiteral("busy");
    QCOMPARE(got, outcome);
    QCOMPARE(store.writes, writes);
    if (saved.saved())
        QCOMPARE(saved.written->score, QStringLiteral("5\r\n"));
    if (retries >= 0) {
        QCOMPARE(saved.retries, retries);
        QCOMPARE(store.tries, retries + 1);
    } else {
        QVERIFY(paused >= policy.budgetMs && paused < policy.budgetMs + policy.longestPauseMs);
        QCOMPARE(store.tries, saved.retries + 1);
    }
}

// A flow answered goes on to its end, and an error thrown two tasks down
// reaches it; a flow whose owner goes is destroyed, frame by frame, and an
// answer that comes after that finds nobody (under the sanitizers, a frame
// resumed or left behind is reported).
void SaveTransactionTest::flowsEndWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("happening");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("answered") << "answered" << "2";
    QTest::newRow("an error two tasks down") << "error" << "Overflow";
    QTest::newRow("the owner goes while it waits") << "owner gone" << "";
    QTest::newRow("the answer comes after the owner went") << "late answer" << "";
}

void SaveTransactionTest::flowsEndWholeOrNotAtAll()
{
    QFETCH(QString, happening);
    QFETCH(QString, outcome);
    const Token token = std::make_shared<int>();
    Answer<Done>::Callback answer;
    QString got;
    auto flows = std::make_unique<Flows>();
    flows->start(waitOnTop(token, answer, happening == QLatin1String("error"), got));
    QCOMPARE(token.use_count(), 4);
    if (happening == QLatin1String("answered") || happening == QLatin1String("error")) {
        answer(Done{});
        QVERIFY(flows->idle());
    } else {
        flows.reset();
        if (happening == QLatin1String("late answer"))
            answer(Done{});
    }
    QCOMPARE(token.use_count(), 1);
    QCOMPARE(got, outcome);
}

QTEST_GUILESS_MAIN(SaveTransactionTest)
#include "tst_savetransaction.moc"
