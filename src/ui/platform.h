// Everything the game's handlers get from the outside world: boxes, the
// one-second timer, the clock and date, the random generator, the record
// folder and ending the program. The program uses the Qt implementation
// (qtplatform.h); tests script their own.
#pragma once

#include "records/recordstore.h"

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

    // Modal boxes: they return when the pupil closes them. Other events,
    // ticks among them, keep arriving meanwhile.
    virtual BoxAnswer messageBox(QWidget *parent, const MessageRequest &request) = 0;
    // The text typed, or the empty text when cancelled.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title) = 0;

    virtual std::unique_ptr<Ticker> createTicker(std::function<void()> onTick) = 0;

    virtual int secondsSinceMidnight() = 0;
    // Today's date in the user's short date form.
    virtual QString shortDate() = 0;
    virtual Random &random() = 0;

    // The folder that holds the record files (it may not exist yet).
    virtual records::RecordFolder recordFolder() = 0;

    // Lets other events (ticks, repaints) run for about ms milliseconds.
    virtual void pause(int ms) = 0;

    // Runs an action that shows boxes of its own, from a tick that may come
    // while a handler waits in a box. Where boxes stack, at once, on top of
    // the open one. Where they cannot (a web page, which waits in one box
    // at a time), the open boxes are closed first, as if declined, and the
    // action runs once their handlers have returned.
    virtual void runOverOpenBoxes(std::function<void()> action) = 0;

    // Calls the action when the desktop session ends (a logout or a
    // shutdown: the session manager asks programs to save their work), with
    // programEnds false, or when the system asks the program to end
    // (SIGTERM), with programEnds true. Where neither is told to a program
    // (a web page), never.
    virtual void whenSessionEnds(std::function<void(bool programEnds)> action) = 0;

    // Ends the program with the given exit status. Handlers that are
    // waiting in a box when this happens must not carry on. Where a program
    // does not end (a web page), the platform shows instead that the game is
    // over, and may later call newGame when the pupil asks for another.
    virtual void endProgram(int status, std::function<void()> newGame) = 0;
};

} // namespace segni
