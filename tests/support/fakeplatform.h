// A scripted outside world for the game's handlers: boxes answer from a
// script (and can run ticks while "open"), the timer ticks when told, the
// clock, date, random draws and record folder are whatever the test sets.
#pragma once

#include "game/random.h"
#include "game/tavola.h"
#include "ui/platform.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

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
// and anything that happens while the box is open.
struct Reply
{
    BoxAnswer answer = BoxAnswer::Ok;
    QString text;
    std::function<void()> whileOpen;
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
    QString folder;
    bool folderShared = false;
    std::optional<records::FileError> folderProblem;
    int pauses = 0;
    std::function<void()> whilePaused;
    std::optional<int> endedWith;
    int endCount = 0;
    FakeTicker *ticker = nullptr; // the newest live timer
    std::function<void(bool)> sessionEnds;

    BoxAnswer messageBox(QWidget *, const MessageRequest &request) override
    {
        calls.append({false, request.text, request.title, request.icon, request.buttons,
                      request.defaultAnswer});
        const Reply reply = nextReply(request.buttons == BoxButtons::YesNo ? request.defaultAnswer
                                                                           : BoxAnswer::Ok);
        if (reply.whileOpen)
            reply.whileOpen();
        return request.buttons == BoxButtons::Ok ? BoxAnswer::Ok : reply.answer;
    }
    QString inputBox(QWidget *, const QString &prompt, const QString &title) override
    {
        calls.append({true, prompt, title});
        const Reply reply = nextReply(BoxAnswer::Ok);
        if (reply.whileOpen)
            reply.whileOpen();
        return reply.text;
    }
    std::unique_ptr<Ticker> createTicker(std::function<void()> onTick) override
    {
        return std::make_unique<FakeTicker>(*this, std::move(onTick));
    }
    int secondsSinceMidnight() override { return clock; }
    QString shortDate() override { return date; }
    Random &random() override { return rng; }
    records::RecordFolder recordFolder() override
    {
        return {folder, folderShared, folderProblem};
    }
    void pause(int) override
    {
        ++pauses;
        if (whilePaused)
            whilePaused();
    }
    void runOverOpenBoxes(std::function<void()> action) override { action(); }
    void whenSessionEnds(std::function<void(bool)> action) override
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

    // Runs the start-up sequence with the given name typed at the prompt.
    // The name prompt and the greeting are taken off the record of boxes;
    // any other box start-up shows stays on it.
    void load(const QString &name = QStringLiteral("Anna"))
    {
        platform.replies.push_front(Reply{BoxAnswer::Ok, name, {}});
        tavola->Form_Load();
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
