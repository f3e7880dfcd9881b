#include "browsercall_wasm.h"

#include <QCoreApplication>
#include <QPointer>

#include <emscripten.h>

#include <cstdint>
#include <utility>

namespace segni::records {

// A call's number is where it lives: no two calls that exist have the same
// one, and the script's call finds its call again without a table.
static_assert(sizeof(void *) == sizeof(int), "a call's number is its address");

BrowserCall::BrowserCall(std::function<void(int, int)> done)
    : m_done(std::move(done))
{
}

int BrowserCall::number() const
{
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(this));
}

void BrowserCall::called(int value)
{
    // Whoever is answered may let this call go: nothing of it is used after.
    const int calledBack = number();
    if (const std::function<void(int, int)> done = std::exchange(m_done, nullptr))
        done(calledBack, value);
}

} // namespace segni::records

extern "C" EMSCRIPTEN_KEEPALIVE void segniBrowserCalled(int number, int value)
{
    using segni::records::BrowserCall;
    // The script calls back only while the call is there. It is answered
    // from the event loop, not from inside the browser's own callback, and
    // only if it is there still by then.
    const QPointer<BrowserCall> call(
        reinterpret_cast<BrowserCall *>(static_cast<std::uintptr_t>(static_cast<unsigned>(number))));
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [call, value] {
            if (call)
                call->called(value);
        },
        Qt::QueuedConnection);
}
