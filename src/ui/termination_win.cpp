// Windows asks a windowed program to end through the session's end
// (WM_QUERYENDSESSION, which Qt reports as a commit-data request) or by
// closing its window (taskkill without /f): both reach the game already.
//
// Once every program has answered WM_QUERYENDSESSION, Windows sends
// WM_ENDSESSION, after which Qt leaves the event loop and Windows may end
// the process: a save of the record still under way would be lost. So the
// request is refused while the save goes on, the way Windows asks for it:
// the game window gives the reason Windows shows beside the program's name,
// and the session manager's request is cancelled, which has Qt answer
// FALSE. When the save is done the reason goes and the program ends.

#include "qtplatform.h"

#include <QApplication>
#include <QSessionManager>
#include <QWidget>

#include <qt_windows.h>

namespace segni {

namespace {

class ShutdownBlock final : public SessionEndHold
{
public:
    explicit ShutdownBlock(HWND window)
        : m_window(window)
    {
        const QString reason = QStringLiteral("Sto registrando il record…");
        ShutdownBlockReasonCreate(m_window, reinterpret_cast<LPCWSTR>(reason.utf16()));
    }
    ~ShutdownBlock() override { ShutdownBlockReasonDestroy(m_window); }

private:
    HWND m_window;
};

// The game window: a top-level window that is neither a box nor a menu,
// the one on show if there is one.
QWidget *gameWindow()
{
    QWidget *found = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->windowType() == Qt::Window && (!found || window->isVisible()))
            found = window;
    }
    return found;
}

} // namespace

void whenTerminationAsked(std::function<void()>)
{
}

std::unique_ptr<SessionEndHold> holdSessionEnd(QSessionManager &manager)
{
    QWidget *window = gameWindow();
    if (!window)
        return nullptr;
    auto hold = std::make_unique<ShutdownBlock>(reinterpret_cast<HWND>(window->winId()));
    manager.cancel();
    return hold;
}

} // namespace segni
