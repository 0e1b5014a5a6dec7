// "exit.dll" may be damaged or written by other means: decoding and the shutdown rule must hold up.
#include <cstddef>
#include <cstdint>
#include <span>

#include "shutdown/shutdown_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lingchao;
    const ShutdownSettings s = DecodeShutdownSettings(std::span<const std::uint8_t>(data, size));
    for (int d = -1; d <= 8; ++d) {
        const auto t = TodaysShutdownTime(s, d);
        if (t && (t->hour < 0 || t->hour > 23 || t->minute < 0 || t->minute > 59)) __builtin_trap();
    }
    const ShutdownBytes again = EncodeShutdownSettings(s);
    if (!(DecodeShutdownSettings(again) == s)) __builtin_trap();
    return 0;
}
