// Calls from the browser back into the program, for what the browser does
// without waiting (a fetch, a lock): the program gives the browser a
// number, and the browser's script calls _segniBrowserCalled(number, value)
// when it is done. The callback runs from the event loop.
#pragma once

#include <functional>

namespace segni::records {

// A number the browser's script calls back with; done is called once, with
// that number and the value the script gave.
int expectBrowserCall(std::function<void(int number, int value)> done);
// Nobody waits any longer: a call with this number does nothing.
void forgetBrowserCall(int number);

} // namespace segni::records
