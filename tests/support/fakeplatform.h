// A scripted outside world for the game's handlers: boxes answer from a
// script (and can run ticks while "open", or stay open until the test
// answers them), the timer ticks when told, pauses pass at once, the clock,
// date, random draws and record's place are whatever the test sets.
#pragma once

#include "base/random.h"
#include "game/tavola.h"
#include "records/folderplace.h"
#include "records/folderstore.h"
#include "records/savetransaction.h"
#include "ui/platform.h"

#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <functional>
#include <memory>

namespace segni::testing {

struct BoxCall
{
    bool input = false;
    QString text; // the prompt, for the input box
    QString title;
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    BoxAnswer defaultAnswer = BoxAnswer::Ok;
};

// What the pupil does with the next box: the button (or the typed text),
// and anything that happens while the box is open. A held box stays open
// until the test answers it (answerHeldBox).
struct Reply
{
    BoxAnswer answer = BoxAnswer::Ok;
    QString text;
    std::function<void()> whileOpen;
    bool held = false;
};

class ScriptedRandom : public Random
{
public:
    QList<double> draws; // taken in order; 0.5 when the script runs out
    QList<int> reseeds;  // the clock values it was reseeded with
    int drawsTaken = 0;

    void reseed(int seconds) override { reseeds.append(seconds); }
    double next() override
    {
        ++drawsTaken;
        return draws.isEmpty() ? 0.5 : draws.takeFirst();
    }
};

class FakePlatform;

class FakeTicker : public Ticker
{
public:
    FakeTicker(FakePlatform &platform, std::function<void()> onTick);
    ~FakeTicker() override;
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }
    void fire()
    {
        if (m_enabled)
            m_onTick();
    }

private:
    FakePlatform &m_platform;
    std::function<void()> m_onTick;
    bool m_enabled = true;
};

class FakePlatform : public Platform
{
public:
    QList<BoxCall> calls;
    // Taken from the front, one a box. A queue of its own kind: tests refill
    // it with braced lists once it has run dry, and Qt 6.8's QList asserts
    // on that assignment when takeFirst() has left room at its front.
    std::deque<Reply> replies;
    ScriptedRandom rng;
    int clock = 43200;
    QString date = QStringLiteral("08/12/2026");
    // The record's place: a folder (a server's address with server set).
    QString folder;
    bool server = false;
    bool folderShared = false;
    std::optional<records::SettingError> folderProblem;
    int pauses = 0;
    int pausedMs = 0;
    std::function<void()> whilePaused;
    std::optional<int> endedWith;
    int endCount = 0;
    int boxesClosed = 0; // boxes closed unanswered by closeBoxes()
    FakeTicker *ticker = nullptr; // the newest live timer
    std::function<bool(bool)> sessionEnds;

    void messageBox(QWidget *, const MessageRequest &request,
                    std::function<void(BoxAnswer)> answered) override
    {
        calls.append({false, request.text, request.title, request.icon, request.buttons,
                      request.defaultAnswer});
        const Reply reply = nextReply(request.buttons == BoxButtons::YesNo ? request.defaultAnswer
                                                                           : BoxAnswer::Ok);
        const BoxAnswer answer = request.buttons == BoxButtons::Ok ? BoxAnswer::Ok : reply.answer;
        open(reply, [answered, answer] { answered(answer); });
    }
    void inputBox(QWidget *, const QString &prompt, const QString &title,
                  std::function<void(QString)> answered) override
    {
        calls.append({true, prompt, title});
        const Reply reply = nextReply(BoxAnswer::Ok);
        open(reply, [answered, text = reply.text] { answered(text); });
    }
    void closeBoxes() override
    {
        boxesClosed += int(m_open.size());
        m_open.clear();
    }
    // Answers the oldest box held open, if it is still open.
    void answerHeldBox()
    {
        if (m_held.empty())
            return;
        const auto [box, answer] = m_held.front();
        m_held.pop_front();
        if (m_open.remove(box))
            answer();
    }
    qsizetype boxesOpen() const { return m_open.size(); }

    std::unique_ptr<Ticker> createTicker(std::function<void()> onTick) override
    {
        return std::make_unique<FakeTicker>(*this, std::move(onTick));
    }
    void after(int ms, std::function<void()> done) override
    {
        ++pauses;
        pausedMs += ms;
        if (whilePaused)
            whilePaused();
        done();
    }
    // Only the pauses move it on.
    qint64 steadyMs() override { return pausedMs; }
    int secondsSinceMidnight() override { return clock; }
    QString shortDate() override { return date; }
    Random &random() override { return rng; }
    Task<records::RecordPlace> recordPlace() override { co_return place(); }
    records::RecordPlace place() const
    {
        records::RecordPlace place;
        place.kind = server ? records::RecordPlace::Kind::Server : records::RecordPlace::Kind::Local;
        place.where = server || folderProblem ? folder : records::withTrailingSeparator(folder);
        place.shared = folderShared || server;
        place.problem = folderProblem;
        if (folderProblem)
            place.where.clear();
        return place;
    }
    void whenSessionEnds(std::function<bool(bool)> action) override
    {
        sessionEnds = std::move(action);
    }
    void endProgram(int status, std::function<void()>) override
    {
        ++endCount;
        endedWith = status;
    }

    // The timer's next ticks; a disabled timer lets them pass unseen.
    void tick(int count = 1)
    {
        for (int i = 0; i < count && ticker; ++i)
            ticker->fire();
    }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const BoxCall &call : calls) {
            if (!call.input)
                texts.append(call.text);
        }
        return texts;
    }

private:
    Reply nextReply(BoxAnswer fallback)
    {
        if (replies.empty())
            return Reply{fallback, QString(), {}};
        Reply reply = std::move(replies.front());
        replies.pop_front();
        return reply;
    }

    // The box is open while what the reply says happens; then it is
    // answered, unless it was closed meanwhile or is held.
    void open(const Reply &reply, std::function<void()> answer)
    {
        const int box = ++m_opened;
        m_open.insert(box);
        if (reply.whileOpen)
            reply.whileOpen();
        if (reply.held)
            m_held.push_back({box, std::move(answer)});
        else if (m_open.remove(box))
            answer();
    }

    int m_opened = 0;
    QSet<int> m_open;
    std::deque<std::pair<int, std::function<void()>>> m_held;
};

inline FakeTicker::FakeTicker(FakePlatform &platform, std::function<void()> onTick)
    : m_platform(platform)
    , m_onTick(std::move(onTick))
{
    m_platform.ticker = this;
}

inline FakeTicker::~FakeTicker()
{
    if (m_platform.ticker == this)
        m_platform.ticker = nullptr;
}

// One game window over a scripted world, with its record files in a fresh
// temporary folder.
class Game
{
public:
    Game()
    {
        platform.folder = dir.path() + QStringLiteral("/records");
        tavola = std::make_unique<Tavola>(platform, [this] { ++restarts; });
    }

    // Runs the start-up sequence with the given name typed at the prompt,
    // to its end (a record on a server answers later). The name prompt and
    // the greeting are taken off the record of boxes; any other box
    // start-up shows stays on it.
    void load(const QString &name = QStringLiteral("Anna"))
    {
        platform.replies.push_front(Reply{BoxAnswer::Ok, name, {}});
        bool loaded = false;
        tavola->Form_Load([&loaded] { loaded = true; });
        if (!loaded && !QTest::qWaitFor([&] { return loaded || tavola->isOver(); }, 30000))
            qFatal("start-up did not finish");
        platform.calls.remove(0, std::min<qsizetype>(2, platform.calls.size()));
    }

    // Loads and brings the first question, with the given raw draws.
    void start(const QList<double> &draws = {0.5, 0.5, 0.5, 0.0},
               const QString &name = QStringLiteral("Anna"))
    {
        load(name);
        platform.rng.draws = draws;
        tavola->Form_Activate();
    }

    ui::MainWindow &w() { return tavola->window(); }
    QString caption(ui::Label *label) { return label->caption(); }

    // Types into the real answer box and presses Enter.
    void answer(const QString &typed);

    QString scoreFile() const { return platform.folder + QStringLiteral("/marvo.txt"); }
    QString holderFile() const { return platform.folder + QStringLiteral("/nmarvo.txt"); }

    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<Tavola> tavola;
    int restarts = 0;
};

template <typename T>
Task<> keepResult(Task<T> task, std::optional<T> *result)
{
    result->emplace(co_await std::move(task));
}

// What a task gives, once it has run to its end; the event loop runs while
// it waits.
template <typename T>
T finished(Task<T> task, int timeoutMs = 60000)
{
    std::optional<T> result;
    Flows flows;
    flows.start(keepResult(std::move(task), &result));
    if (!result && !QTest::qWaitFor([&] { return result.has_value(); }, timeoutMs))
        qFatal("a task did not finish");
    return std::move(*result);
}

// The record folder's store, as the game opens it, and a save to it as the
// game makes one.
inline records::Loaded loadFolder(const QString &folder)
{
    records::FolderStore store(records::withTrailingSeparator(folder), false);
    return finished(store.load());
}
inline records::Saved saveToFolder(const QString &folder, const QString &score,
                                   const QString &holder)
{
    records::FolderStore store(records::withTrailingSeparator(folder), false);
    return finished(records::saveIfBeaten(store, score, holder, records::timerPause()));
}

// The bytes of a file, or "<missing>".
inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Raw draws giving the factors (first, second, third) with pattern 0 (all
// negative): the magnitudes are picked by R = (magnitude - 0.5) / range.
inline QList<double> drawsFor(int a, int b, int c, int pattern)
{
    return {(a - 0.5) / 10.0, (b - 0.5) / 6.0, (c - 0.5) / 4.0, (pattern + 0.5) / 3.0};
}

} // namespace segni::testing
