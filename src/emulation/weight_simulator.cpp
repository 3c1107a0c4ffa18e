#include "emulation/weight_simulator.h"

#include <algorithm>

namespace korvanteslin {

float WeightSimulator::nextFraction()
{
    // The top 24 bits fill a float's mantissa exactly: never 1.0.
    return static_cast<float>(random() >> 8) * (1.0f / 16777216.0f);
}

WeightSimulator::Signals WeightSimulator::SimulateWeight(Load chosen, double weight1, double weight2, double amplitude)
{
    dblWeight1 = weight1;
    dblWeight2 = weight2;
    switch (chosen) {
    case Load::Weight1:
        dblWeightNow = dblWeight1;
        break;
    case Load::Weight2:
        dblWeightNow = dblWeight2;
        break;
    case Load::TakeOff:
        dblWeightNow = 0.0;
        break;
    case Load::None:
        break;
    }
    dblWeightPrev = dblWeightNow;

    if (intOscLeft > 0) {
        const double offset = static_cast<double>(nextFraction()) * amplitude;
        if (intOscPhase == 0) {
            dblWeightNow += offset;
            intOscPhase = 1;
        } else {
            dblWeightNow -= offset;
            intOscPhase = 0;
        }
    }
    intOscLeft = static_cast<std::int16_t>(std::max(0, intOscLeft - 1));

    return {dblWeightPrev == 0.0 && dblWeightNow == 0.0, dblWeightPrev == dblWeightNow};
}

} // namespace korvanteslin
