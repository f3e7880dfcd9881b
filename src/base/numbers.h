// Numbers as the game counts and shows them: 16-bit whole numbers that
// fail on overflow, the display patterns, and the two ways a text is read
// back as a number.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace segni {

// A failure the game cannot carry on from (an overflow, a failed
// conversion). The window reports it in a box and ends the program.
class RuntimeError : public std::runtime_error
{
public:
    RuntimeError(int code, const QString &what);
    int code() const { return m_code; }
    QString message() const { return m_message; }

private:
    int m_code;
    QString m_message;
};

RuntimeError overflowError();

// The game's Integer: a signed 16-bit whole number.
using Integer = std::int16_t;

// Integer arithmetic; a result outside -32768..32767 throws overflowError().
Integer checkedInteger(long long value);
Integer add(Integer a, Integer b);
Integer subtract(Integer a, Integer b);
Integer multiply(Integer a, Integer b);

// Nearest whole number, halves to the even neighbour; throws on overflow.
Integer roundToInteger(double value);
// Largest whole number not above the value; throws on overflow.
Integer floorToInteger(double value);

// Formats by display pattern: "#0", "###0", "####0" (plain decimal with
// a minus sign when negative) and "00" (at least two digits).
QString formatNumber(double value, const QString &pattern);

// Lenient reading: an optional sign, then digits with at most one decimal
// point; blanks, tabs and line feeds are skipped; reading stops at any other
// character; no digit gives 0. Never fails.
double lenientNumber(const QString &text);

// Strict reading of a text the game itself formatted: the whole text must be
// a number in the user's regional format (or plain C form). Throws a
// type-mismatch error otherwise.
double strictNumber(const QString &text);

// A game beat the record when its score is strictly above it.
bool beatsRecord(double storedRecord, double score);

} // namespace segni
