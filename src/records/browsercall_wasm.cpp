#include "browsercall_wasm.h"

#include <QCoreApplication>
#include <QHash>

#include <emscripten.h>

namespace segni::records {

namespace {

QHash<int, std::function<void(int)>> &expected()
{
    static QHash<int, std::function<void(int)>> calls;
    return calls;
}

int g_next = 1;

} // namespace

int expectBrowserCall(std::function<void(int)> done)
{
    const int number = g_next++;
    expected().insert(number, std::move(done));
    return number;
}

void forgetBrowserCall(int number)
{
    expected().remove(number);
}

} // namespace segni::records

extern "C" EMSCRIPTEN_KEEPALIVE void segniBrowserCalled(int number, int value)
{
    using namespace segni::records;
    // Taken at once, so a second call finds nothing; run from the event
    // loop, not from inside the browser's own callback.
    std::function<void(int)> done = expected().take(number);
    if (!done)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [done = std::move(done), value] { done(value); },
        Qt::QueuedConnection);
}
