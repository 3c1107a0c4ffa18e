// Any text typed into a weight box: the number read is finite, the display
// box shows only the characters a number in its format can have, and showing
// it again changes nothing. Eight bytes after the first are taken as a double
// whose rounding must match a slow decimal reference.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "emulation/display_format.h"
#include "emulation/number_reading.h"
#include "decimal_reference.h"

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
    if (size == 1 + sizeof(double)) {
        // Eight bytes are a double: rounded exactly as the slow decimal reference rounds it.
        double value;
        std::memcpy(&value, data + 1, sizeof value);
        const int decimals = data[0] % 5;
        if (std::isfinite(value) && std::fabs(value) < 1e30)
            require(korvanteslin::formatFixed(value, decimals, '.') == korvanteslin::test::referenceFixed(value, decimals));
        return 0;
    }
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
