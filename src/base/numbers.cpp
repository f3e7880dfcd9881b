#include "numbers.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace segni {

namespace {
constexpr long long kIntegerMin = std::numeric_limits<Integer>::min();
constexpr long long kIntegerMax = std::numeric_limits<Integer>::max();
} // namespace

RuntimeError::RuntimeError(int code, const QString &what)
    : std::runtime_error(what.toStdString())
    , m_code(code)
    , m_message(what)
{
}

RuntimeError overflowError()
{
    return RuntimeError(6, QStringLiteral("Overflow"));
}

Integer checkedInteger(long long value)
{
    if (value < kIntegerMin || value > kIntegerMax)
        throw overflowError();
    return static_cast<Integer>(value);
}

Integer add(Integer a, Integer b)
{
    return checkedInteger(static_cast<long long>(a) + b);
}

Integer subtract(Integer a, Integer b)
{
    return checkedInteger(static_cast<long long>(a) - b);
}

Integer multiply(Integer a, Integer b)
{
    return checkedInteger(static_cast<long long>(a) * b);
}

Integer roundToInteger(double value)
{
    if (!std::isfinite(value) || value < kIntegerMin - 1.0 || value > kIntegerMax + 1.0)
        throw overflowError();
    // The default floating-point rounding mode sends halves to the even
    // neighbour.
    return checkedInteger(static_cast<long long>(std::nearbyint(value)));
}

Integer floorToInteger(double value)
{
    if (!std::isfinite(value) || value < kIntegerMin - 1.0 || value > kIntegerMax + 1.0)
        throw overflowError();
    return checkedInteger(static_cast<long long>(std::floor(value)));
}

QString formatNumber(double value, const QString &pattern)
{
    // Every pattern the game uses shows whole numbers; a fraction is rounded
    // the way the patterns round, halves to even.
    const double whole = std::isfinite(value) ? std::nearbyint(value) : 0.0;
    const bool negative = whole < 0;
    QString digits = QString::number(std::fabs(whole), 'f', 0);
    int minimumDigits = 0;
    for (QChar c : pattern) {
        if (c == QLatin1Char('0'))
            ++minimumDigits;
    }
    if (digits.size() < minimumDigits)
        digits = QString(minimumDigits - digits.size(), QLatin1Char('0')) + digits;
    return negative ? QLatin1Char('-') + digits : digits;
}

double lenientNumber(const QString &text)
{
    bool negative = false;
    bool seenSign = false;
    bool seenPoint = false;
    bool seenDigit = false;
    double whole = 0;
    double scale = 1;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u == ' ' || u == '\t' || u == '\n')
            continue;
        if ((u == '+' || u == '-') && !seenSign && !seenDigit && !seenPoint) {
            seenSign = true;
            negative = (u == '-');
            continue;
        }
        if (u == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (u >= '0' && u <= '9') {
            seenDigit = true;
            if (seenPoint) {
                scale /= 10;
                whole += (u - '0') * scale;
            } else {
                whole = whole * 10 + (u - '0');
            }
            continue;
        }
        break;
    }
    if (!seenDigit)
        return 0;
    if (!std::isfinite(whole))
        whole = std::numeric_limits<double>::max();
    return negative ? -whole : whole;
}

double strictNumber(const QString &text)
{
    bool ok = false;
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        throw RuntimeError(13, QStringLiteral("Tipo non corrispondente"));
    const double system = QLocale::system().toDouble(text, &ok);
    if (ok)
        return system;
    const double plain = QLocale::c().toDouble(text, &ok);
    if (ok)
        return plain;
    throw RuntimeError(13, QStringLiteral("Tipo non corrispondente"));
}

bool beatsRecord(double storedRecord, double score)
{
    return storedRecord < score;
}

} // namespace segni
