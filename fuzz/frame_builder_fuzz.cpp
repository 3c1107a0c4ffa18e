// Any weight the terminal can hold, any pattern, model and signal states: a
// frame of its model's exact length with its fixed bytes in place, and nothing
// but digits, ".", "-" and blanks where the weight goes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "emulation/display_format.h"
#include "emulation/frame_builder.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void requireWeightCharacters(const std::string& field, bool blanksAllowed)
{
    for (const char c : field)
        require((c >= '0' && c <= '9') || c == '.' || c == '-' || (blanksAllowed && c == ' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace korvanteslin;
    if (size < 11)
        return 0;
    double weight = 0;
    std::memcpy(&weight, data, sizeof weight);
    if (!std::isfinite(weight)) // the terminal never holds one
        return 0;
    const int decimals = kDisplayFormats[data[8] % kDisplayFormats.size()].decimals;
    const int model = int(data[9] % 4); // 3: no such model
    SignalStates states{};
    for (std::size_t i = 0; i < states.size(); ++i)
        states[i] = (data[10] >> (2 * i)) & 3;

    const auto frame = assembleFrame(weight, model, decimals, states);
    if (model == 3) {
        require(!frame.has_value());
        return 0;
    }
    require(frame.has_value());
    const std::string& f = *frame;
    const char status = statusByte(states);
    require(status >= '@' && status <= 'O');
    switch (model) {
    case kZmr1:
        require(f.size() == 12 && f[0] == 0x02 && (f[1] == ' ' || f[1] == '-') && f[8] == status);
        require(f.compare(9, 3, "kg\r") == 0);
        requireWeightCharacters(f.substr(2, 6), false);
        break;
    case kZmr3:
        require(f.size() == 8 && f[0] == '=' && (f[7] == '0' || f[7] == '-'));
        requireWeightCharacters(f.substr(1, 6), false);
        break;
    case kZmr5:
        require(f.size() == 10 && f[0] == '=' && f[8] == status && f[9] == '\r');
        requireWeightCharacters(f.substr(1, 7), true);
        break;
    }
    require(hexEcho(f).size() == 3 * f.size());
    return 0;
}
