// Any text typed into a weight box: the number read is finite, the display
// box shows only the characters a number in its format can have, and showing
// it again changes nothing.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "emulation/display_format.h"
#include "emulation/number_reading.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto& format = korvanteslin::kDisplayFormats[data[0] % korvanteslin::kDisplayFormats.size()];
    const char separator = (data[0] & 0x80) ? ',' : '.';
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    require(std::isfinite(korvanteslin::readNumber(text)));

    const std::string shown = korvanteslin::normaliseDisplay(text, format, separator);
    require(!shown.empty() && shown.size() <= 7);
    for (const char c : shown)
        require((c >= '0' && c <= '9') || c == separator || c == '-');
    require(std::fabs(korvanteslin::readNumber(shown)) <= format.largest);
    require(korvanteslin::normaliseDisplay(shown, format, separator) == shown);
    return 0;
}
