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
    // the case where the main loop has not started yet.
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(status);
    QMetaObject::invokeMethod(
        qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
}

void QtPlatform::whenSessionEnds(std::function<void(bool programEnds)> action)
{
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [action](QSessionManager &) { action(false); });
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
