// Windows asks a windowed program to end through the session's end
// (WM_QUERYENDSESSION, which Qt reports as a commit-data request) or by
// closing its window (taskkill without /f): both reach the game already.

#include "qtplatform.h"

namespace segni {

void whenTerminationAsked(std::function<void()>)
{
}

} // namespace segni
