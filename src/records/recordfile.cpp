#include "recordfile.h"

#include <QElapsedTimer>
#include <QThread>

namespace segni::records::fs {

namespace {
TestHooks g_hooks;
}

void setTestHooks(const TestHooks &hooks)
{
    g_hooks = hooks;
}

const TestHooks &testHooks()
{
    return g_hooks;
}

void changed()
{
    if (g_hooks.changed)
        g_hooks.changed();
}

Lock::State Lock::acquire(Folder &folder, const QString &name, int waitMs, Result &result)
{
    result = {};
    if (g_hooks.noLocks)
        return State::Unavailable;
    result = openFile(folder, name);
    if (!result.ok()) {
        // No lock file, and none can be made: nobody locks in this folder.
        // A lock file that is there but cannot be used is another matter:
        // saving without it could mix two copies' pairs.
        if (folder.kind(name) == Kind::Missing)
            result = {};
        return State::Unavailable;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        switch (tryLock()) {
        case Try::Held:
            return State::Held;
        case Try::NoLocks:
            // A file system without locks (a share mounted without them).
            release();
            return State::Unavailable;
        case Try::Busy:
            break;
        }
        if (waited.elapsed() >= waitMs)
            break;
        QThread::msleep(10);
    }
    release();
    result = {Problem::Busy, 0};
    return State::Busy;
}

} // namespace segni::records::fs
