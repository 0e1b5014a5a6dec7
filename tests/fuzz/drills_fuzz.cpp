// The drills file is edited by hand: any bytes must read as signals and named problems, and what is written
// reads back as the same signals with no problem.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/drill_plans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lingchao;
    const DrillsRead read = ParseDrills(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = EncodeDrills(read.signals);
    const DrillsRead again = ParseDrills(written);
    if (!again.problems.empty() || again.signals != read.signals) __builtin_trap();
    if (EncodeDrills(again.signals) != written) __builtin_trap();
    return 0;
}
