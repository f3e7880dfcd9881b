// A copy of the game that only saves or loads the record, for the crash
// tests: it stops right after its given change on disk, either ending
// itself at once, as in a crash, or waiting for a line on its standard
// input before it goes on, as a copy the system holds back.
//
//   recordchild FOLDER save|load CHANGE die|freeze [nolocks]
//
// A save stores 1 by "Anna". Exits 42 when it ended itself, 0 when it ran
// to the end first.

#include "records/recordstore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_changesLeft = 0;
bool g_freeze = false;

void changed()
{
    if (--g_changesLeft != 0)
        return;
    if (!g_freeze)
        std::_Exit(42);
    std::fputs("frozen\n", stdout);
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        std::_Exit(43);
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace segni::records;
    if (argc < 5)
        return 2;
    const QString cartella = withTrailingSeparator(QString::fromLocal8Bit(argv[1]));
    g_changesLeft = std::atoi(argv[3]);
    g_freeze = std::strcmp(argv[4], "freeze") == 0;
    fs::setTestHooks({changed, argc > 5 && std::strcmp(argv[5], "nolocks") == 0});
    if (std::strcmp(argv[2], "save") == 0)
        return saveRecord(cartella, QStringLiteral("1"), QStringLiteral("Anna")) ? 1 : 0;
    return loadRecord(cartella, false).error ? 1 : 0;
}
