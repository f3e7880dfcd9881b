// The program's own link to the outside world: QMessageBox, QInputDialog,
// QTimer, the system clock and the record's place. What differs between a
// desktop and a web page (ending, the session, fonts, scale) is in
// qtplatform_desktop.cpp and qtplatform_wasm.cpp.
#pragma once

#include "platform.h"

#include "base/random.h"

#include <QDialog>
#include <QList>
#include <QPointer>

class QSessionManager;

namespace segni {

// The session's end held by the program; it goes on once this is gone.
class SessionEndHold
{
public:
    virtual ~SessionEndHold() = default;
};

class QtPlatform : public Platform
{
public:
    ~QtPlatform() override;

    void messageBox(QWidget *parent, const MessageRequest &request,
                    std::function<void(BoxAnswer)> answered) override;
    void inputBox(QWidget *parent, const QString &prompt, const QString &title,
                  std::function<void(QString)> answered) override;
    void closeBoxes() override;
    std::unique_ptr<Ticker> createTicker(std::function<void()> onTick) override;
    void after(int ms, std::function<void()> done) override;
    qint64 steadyMs() override;
    int secondsSinceMidnight() override;
    QString shortDate() override;
    Random &random() override;
    Task<records::RecordPlace> recordPlace() override;
    void endProgram(int status, std::function<void()> newGame) override;
    void whenSessionEnds(std::function<bool(bool programEnds)> action) override;

private:
    // Reads a box's answer as it closes; what it gives is called once the
    // box has gone.
    using Reading = std::function<std::function<void()>(QDialog &, int result)>;
    // Opens a box of messageBox or inputBox, kept in the list of open
    // boxes until its answer is given or it is closed.
    void openBox(QDialog *box, QWidget *parent, Reading read);

    MixingRandom m_random;
    QList<QPointer<QDialog>> m_openBoxes;
    // The session's end, held while the record is saved.
    std::unique_ptr<SessionEndHold> m_sessionEndHold;
};

// Qt's own texts (box buttons and the like) in Italian, whatever the
// system's language.
void installItalianTranslation();

// The application style: the platform's own, except that box buttons carry
// no icons. Looking those icons up in the icon theme would hold up the name
// prompt, the first thing the pupil sees.
void installStyle();

// Calls the action, from the event loop, each time the system asks the
// program to end (SIGTERM on Unix; Windows asks through the session's end,
// which Qt reports).
void whenTerminationAsked(std::function<void()> action);

// While the session manager asks the program to save its work and a save
// is still under way: where the system ends the program as soon as the
// request is answered (Windows), holds the session's end, saying why. None
// elsewhere: Linux's session manager asks, and later ends the program with
// SIGTERM.
std::unique_ptr<SessionEndHold> holdSessionEnd(QSessionManager &manager);

// The faces the program carries itself, registered before any text is laid
// out: the web page's faces, cut from Liberation. A desktop takes Liberation
// from the system.
void installBundledFonts();

// Before the application is made: the scale the program is drawn at. A web
// page draws the game window as large as the browser's view holds it whole;
// a desktop leaves the scale to the system.
void chooseScale();

// Once the application is made, before any window: a web page tells the
// browser's screen reader, in the page's own elements, what Qt tells Orca
// on a desktop (accessible_wasm.cpp). A desktop has Qt's own bridge.
void followScreenReader();

// Once the application is made: a web page keeps its windows in the middle
// of the browser's view and, when the view changes size (a browser window
// resized, a tablet turned), scales them anew. Nothing on a desktop.
void followScreen();

} // namespace segni
