// A new question: three signed factors, their product, the record
// announcement and a freshly tinted background.

#include "tavola.h"

#include "base/random.h"

#include <cstdlib>

namespace segni {

Draw drawMagnitudes(Random &random)
{
    Draw draw;
    draw.a = floorToInteger(random.next() * -10);
    draw.b = floorToInteger(random.next() * -6);
    draw.c = floorToInteger(random.next() * -4);
    return draw;
}

Integer drawSignPattern(Random &random)
{
    return floorToInteger(random.next() * 3);
}

Factors applySignPattern(const Draw &draw, Integer pattern)
{
    Factors factors;
    factors.first = pattern == 2 ? subtract(0, draw.a) : draw.a;
    factors.third = pattern == 2 ? subtract(0, draw.c) : draw.c;
    factors.second = pattern == 1 ? subtract(0, draw.b) : draw.b;
    return factors;
}

Integer productOf(const Factors &factors)
{
    return multiply(multiply(factors.second, factors.first), factors.third);
}

bool announcesRecord(double storedRecord, double rightAnswers)
{
    return storedRecord + 1 == rightAnswers;
}

QRgb bandColour(const Draw &draw, int band)
{
    return qRgb(20 * std::abs(draw.a), 20 * std::abs(draw.b), band);
}

QString spokenNumber(Integer value)
{
    const QString digits = QString::number(std::abs(int(value)));
    return value < 0 ? QStringLiteral("meno ") + digits : digits;
}

QString spokenQuestion(const Factors &factors)
{
    return QStringLiteral("Quanto fa %1 per %2 per %3?")
        .arg(spokenNumber(factors.first), spokenNumber(factors.second),
             spokenNumber(factors.third));
}

void Tavola::cmdNext_Click()
{
    if (m_phase != Phase::Over)
        handle(newQuestion());
}

Task<> Tavola::newQuestion()
{
    window().txtAnswer->setText(QString());
    window().lblMessage->setCaption(QString());

    Random &random = m_platform.random();
    random.reseed(m_platform.secondsSinceMidnight());
    const Draw draw = drawMagnitudes(random);
    random.reseed(m_platform.secondsSinceMidnight());
    const Integer pattern = drawSignPattern(random);
    const Factors factors = applySignPattern(draw, pattern);

    window().lblNum1->setCaption(formatNumber(factors.first, QStringLiteral("#0")));
    window().lblnum5->setCaption(formatNumber(factors.third, QStringLiteral("#0")));
    window().lblNum2->setCaption(formatNumber(factors.second, QStringLiteral("#0")));
    risultato = productOf(factors);
    window().cmdNext->setEnabled(false);
    // A screen reader says the question where the focus lands, and the
    // last verdict no longer stands.
    window().txtAnswer->setAccessibleDescription(spokenQuestion(factors));
    window().cmdNext->setAccessibleDescription(window().cmdNext->designDescription());

    // The announcement compares with the record as it stands now (or, for
    // a record that answers later, as it stood at the last question).
    refreshRecord();
    if (announcesRecord(storedRecord(), score()))
        co_await ask({QStringLiteral("E' record")});

    window().surface->paintBands([&draw](int band) { return bandColour(draw, band); });
    window().txtAnswer->setFocus();
}

double Tavola::storedRecord()
{
    return lenientNumber(window().lblpunti->caption());
}

double Tavola::score()
{
    return strictNumber(window().lblScore->caption());
}

} // namespace segni
