// Everything the game's handlers get from the outside world: boxes, the
// one-second timer, pauses, the clock and date, the random generator, the
// record's place and ending the program. The program uses the Qt
// implementation (qtplatform.h); tests script their own.
#pragma once

#include "base/task.h"
#include "records/recordplace.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace segni {

class Random;

// The title of every box that gives none of its own.
QString applicationTitle();

enum class BoxIcon { None, Exclamation, Question };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

struct MessageRequest
{
    MessageRequest(QString text, QString title = QString(), BoxIcon icon = BoxIcon::None,
                   BoxButtons buttons = BoxButtons::Ok, BoxAnswer defaultAnswer = BoxAnswer::Ok)
        : text(std::move(text))
        , title(std::move(title))
        , icon(icon)
        , buttons(buttons)
        , defaultAnswer(defaultAnswer)
    {
    }

    QString text;
    QString title; // empty: applicationTitle()
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    BoxAnswer defaultAnswer = BoxAnswer::Ok;
};

// A timer delivering one tick a second while enabled. Enabled when created.
class Ticker
{
public:
    virtual ~Ticker() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

class Platform
{
public:
    virtual ~Platform() = default;

    // Boxes open and return at once; the callback gets the answer when the
    // pupil closes the box. Other events, ticks among them, keep arriving
    // meanwhile, and other boxes may open over it.
    virtual void messageBox(QWidget *parent, const MessageRequest &request,
                            std::function<void(BoxAnswer)> answered) = 0;
    // The text typed, or the empty text when cancelled.
    virtual void inputBox(QWidget *parent, const QString &prompt, const QString &title,
                          std::function<void(QString)> answered) = 0;
    // Closes every box open now; their callbacks are never called.
    virtual void closeBoxes() = 0;

    virtual std::unique_ptr<Ticker> createTicker(std::function<void()> onTick) = 0;
    // Calls back after about ms milliseconds, letting everything else run.
    virtual void after(int ms, std::function<void()> done) = 0;
    // Milliseconds on a clock that only goes forward, pauses included.
    virtual qint64 steadyMs() = 0;

    virtual int secondsSinceMidnight() = 0;
    // Today's date in the user's short date form.
    virtual QString shortDate() = 0;
    virtual Random &random() = 0;

    // Where the record is kept (it may not exist yet).
    virtual Task<records::RecordPlace> recordPlace() = 0;

    // Calls the action when the desktop session ends (a logout or a
    // shutdown: the session manager asks programs to save their work), with
    // programEnds false, or when the system asks the program to end
    // (SIGTERM), with programEnds true. Where neither is told to a program
    // (a web page), never. The action says whether a save of the record is
    // still under way. Where the system ends a program as soon as it has
    // been told of the session's end (Windows), such a save holds the
    // session's end, and the action is called again with programEnds true:
    // the program ends once the save is done, and the hold goes with it.
    virtual void whenSessionEnds(std::function<bool(bool programEnds)> action) = 0;

    // Ends the program with the given exit status: nothing of the game shows
    // or runs after it. Where a program does not end (a web page), the
    // platform shows instead that the game is over, and may later call
    // newGame when the pupil asks for another.
    virtual void endProgram(int status, std::function<void()> newGame) = 0;
};

} // namespace segni
