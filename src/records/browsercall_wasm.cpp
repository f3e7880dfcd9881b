#include "browsercall_wasm.h"

#include <QCoreApplication>
#include <QHash>

#include <emscripten.h>

namespace segni::records {

namespace {

QHash<int, std::function<void(int, int)>> &expected()
{
    static QHash<int, std::function<void(int, int)>> calls;
    return calls;
}

int g_next = 1;

} // namespace

int expectBrowserCall(std::function<void(int, int)> done)
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
    // Run from the event loop, not from inside the browser's own callback,
    // and only if somebody still waits by then; a second call finds nobody.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [number, value] {
            if (const std::function<void(int, int)> done = expected().take(number))
                done(number, value);
        },
        Qt::QueuedConnection);
}
