// A desktop program (Linux, Windows): the program ends, the session's end
// is told, and the fonts come from the system.

#include "qtplatform.h"

#include <QApplication>
#include <QSessionManager>
#include <QWidget>

namespace segni {

void QtPlatform::endProgram(int status, std::function<void()>)
{
    // Nothing of the game may show or run after this: the windows go at
    // once, the event loop is told to leave, and the queued exit also covers
    // the case where the main loop has not started yet. A session's end
    // held for the record's save goes on.
    m_sessionEndHold.reset();
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(status);
    QMetaObject::invokeMethod(
        qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
}

void QtPlatform::whenSessionEnds(std::function<bool(bool programEnds)> action)
{
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [this, action](QSessionManager &manager) {
                         if (m_sessionEndHold) {
                             // Asked again while the program already ends
                             // once its save is done.
                             manager.cancel();
                             return;
                         }
                         if (!action(false))
                             return;
                         // A save still under way. Where the system would
                         // end the program before it is done, the session's
                         // end waits, and the program ends once it is done.
                         if (std::unique_ptr<SessionEndHold> hold = holdSessionEnd(manager)) {
                             m_sessionEndHold = std::move(hold);
                             action(true);
                         }
                     });
    whenTerminationAsked([action] { action(true); });
}

void installBundledFonts()
{
}

void chooseScale()
{
}

void followScreen()
{
}

void followScreenReader()
{
}

} // namespace segni
