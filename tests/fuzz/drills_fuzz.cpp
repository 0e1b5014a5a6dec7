// The drills file is edited by hand: any bytes must read as plans and named problems, and what is written
// reads back as the same plans with no problem.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/drill_plans.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lingchao;
    const DrillsRead read = ParseDrills(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = EncodeDrills(read.plans);
    const DrillsRead again = ParseDrills(written);
    if (!again.problems.empty() || again.plans != read.plans) __builtin_trap();
    if (EncodeDrills(again.plans) != written) __builtin_trap();
    return 0;
}
