// Calls from the browser back into the program, for what the browser does
// without waiting (a fetch, a lock). Whoever waits owns a BrowserCall and
// gives the browser's script its number; the script calls
// _segniBrowserCalled(number, value) when it is done. The callback runs
// from the event loop, once, and only while its BrowserCall is still
// there. Before a BrowserCall goes, its owner has the script forget its
// number: the script never calls back with a number it was told to forget.
#pragma once

#include <QObject>

#include <functional>

namespace segni::records {

class BrowserCall : public QObject
{
public:
    // done is called with this call's number and the value the script gave.
    explicit BrowserCall(std::function<void(int number, int value)> done);

    // The number the script calls back with, unique among the calls there
    // are.
    int number() const;
    // The script's call, from the event loop: answers once.
    void called(int value);

private:
    std::function<void(int, int)> m_done;
};

} // namespace segni::records
