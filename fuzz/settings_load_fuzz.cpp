// Any bytes as a settings file: either a record that survives a save and a
// load unchanged, or a refusal that leads to the defaults. Never a crash, a
// hang or a read past the bytes given.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "shell/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const auto record = korvanteslin::decodeSettings(bytes);
    if (!record)
        return 0;
    if (korvanteslin::oversizedField(*record))
        std::abort(); // whatever was read must fit when written back
    const auto image = korvanteslin::encodeSettings(*record);
    const auto again = korvanteslin::decodeSettings(image);
    // Compare bit patterns so a NaN read from the file still counts as the same value.
    if (!again || korvanteslin::encodeSettings(*again) != image)
        std::abort();
    (void)korvanteslin::isOwnSettings(*record);
    return 0;
}
