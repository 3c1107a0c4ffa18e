#pragma once

#include <cstdint>
#include <random>

namespace korvanteslin {

// Which load the scale carries; the three load lamps show it.
enum class Load { None, Weight1, Weight2, TakeOff };

// The simulated weight and its swing after a load change. One step per frame.
struct WeightSimulator {
    double dblWeightNow = 0.0;
    double dblWeight1 = 0.0;
    double dblWeight2 = 0.0;
    double dblWeightPrev = 0.0;  // this step's settled weight, before any offset
    std::int16_t intOscLeft = 0; // offset steps still to run
    std::int16_t intOscPhase = 0; // 0: the next offset adds, 1: it subtracts

    // Never seeded, so every run draws the same sequence.
    std::mt19937 random;

    // The two signals a step decides.
    struct Signals {
        bool zeroWeight = false;
        bool weightStable = false;
    };

    // Sets the weight to the chosen load, adds the next alternating offset of
    // up to `amplitude` while a swing runs, and tells what the weight shows.
    Signals SimulateWeight(Load chosen, double weight1, double weight2, double amplitude);

    // A uniform draw in [0, 1), single precision.
    float nextFraction();
};

} // namespace korvanteslin
