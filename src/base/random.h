// The game's random generator: reals in [0, 1), reseeded from the clock.
#pragma once

#include <QRandomGenerator>

namespace segni {

class Random
{
public:
    virtual ~Random() = default;
    // Mixes the clock value (seconds since midnight) into the current
    // state, so two reseedings with the same value do not repeat draws.
    virtual void reseed(int secondsSinceMidnight) = 0;
    // The next real in [0, 1).
    virtual double next() = 0;
};

// The generator the program uses, built on QRandomGenerator.
class MixingRandom : public Random
{
public:
    MixingRandom();
    explicit MixingRandom(quint32 initialSeed);
    void reseed(int secondsSinceMidnight) override;
    double next() override;

private:
    QRandomGenerator m_generator;
};

} // namespace segni
