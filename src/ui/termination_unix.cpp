// SIGTERM (a logout that ends the session's processes, a shutdown, kill)
// reaches the event loop through a pipe: the handler itself only writes a
// byte, which is all a signal handler may safely do. The session manager's
// request to save is never held: the session ends the program with SIGTERM
// later, and the game joins its save then.

#include "qtplatform.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace segni {

namespace {

int g_pipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

void whenTerminationAsked(std::function<void()> action)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [action] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        action();
    });
    struct sigaction request = {};
    request.sa_handler = onTerminate;
    sigemptyset(&request.sa_mask);
    request.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &request, nullptr);
}

std::unique_ptr<SessionEndHold> holdSessionEnd(QSessionManager &)
{
    return nullptr;
}

} // namespace segni
