#include "random.h"

namespace segni {

MixingRandom::MixingRandom()
    : m_generator(QRandomGenerator::system()->generate())
{
}

MixingRandom::MixingRandom(quint32 initialSeed)
    : m_generator(initialSeed)
{
}

void MixingRandom::reseed(int secondsSinceMidnight)
{
    // Fold the clock into a draw from the current state: the state moves on
    // at every reseeding even when the clock has not.
    const quint32 state = m_generator.generate();
    const quint32 clock = static_cast<quint32>(secondsSinceMidnight) * 2654435761u;
    m_generator.seed(state ^ clock);
}

double MixingRandom::next()
{
    return m_generator.generateDouble();
}

} // namespace segni
