// A calendar is edited in spreadsheets: any bytes must read as entries and named problems, what is written
// reads back as the same entries, and resolving a date never fails.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scheduler/calendar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lingchao;
    const CalendarRead read = ParseCalendar(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string written = EncodeCalendar(read.entries);
    const CalendarRead again = ParseCalendar(written);
    if (!again.problems.empty() || again.entries.size() != read.entries.size()) __builtin_trap();
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        if (!again.entries[i].SameAs(read.entries[i]) || again.entries[i].note != read.entries[i].note)
            __builtin_trap();
    }
    if (EncodeCalendar(again.entries) != written) __builtin_trap();
    for (const auto& e : read.entries) {
        const DayRule rule = ResolveDay(read.entries, e.first);
        if (rule.songWeekday < 1 || rule.songWeekday > 7) __builtin_trap();
        (void)rule.RingTime({23, 59, 0});
    }
    return 0;
}
