#include "shutdown/shutdown_settings.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace lingchao {
namespace {

std::vector<std::uint8_t> HandBuiltRecord() {
    std::vector<std::uint8_t> b;
    const std::int16_t checks[9] = {1, 0, 1, 0, 0, 0, 0, 0, 1};
    for (auto c : checks) {
        b.push_back(static_cast<std::uint8_t>(c & 0xFF));
        b.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    const char* times[9] = {"17:30", "12:00", "00:00", "00:00", "00:00", "00:00", "00:00", "00:00", "ab   "};
    for (auto t : times) b.insert(b.end(), t, t + 5);
    return b;
}

TEST(ShutdownSettings, Record1Is63BytesAndRoundTripsSlot8Unchanged) {
    const auto bytes = HandBuiltRecord();
    ASSERT_EQ(bytes.size(), ShutdownSettingsLength);
    const ShutdownSettings s = DecodeShutdownSettings(bytes);
    EXPECT_EQ(s.check[0], 1);
    EXPECT_EQ(s.check[8], 1);
    EXPECT_EQ(s.time[1], "12:00");
    EXPECT_EQ(s.time[8], "ab   ");
    const ShutdownBytes again = EncodeShutdownSettings(s);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), bytes.begin(), bytes.end()));
}

TEST(ShutdownSettings, MissingFileIsCreatedAndGivesEverySwitchOff) {
    test::TempFolder dir;
    const ShutdownSettings s = LoadShutdownSettings(dir.path());
    EXPECT_TRUE(std::filesystem::exists(dir / "exit.dll"));
    for (auto c : s.check) EXPECT_EQ(c, 0);
    EXPECT_FALSE(TodaysShutdownTime(s, 1));
}

TEST(ShutdownSettings, SaveWritesRecord1AndLoadReadsItBack) {
    test::TempFolder dir;
    ShutdownSettings s = DecodeShutdownSettings(HandBuiltRecord());
    s.time[0] = "8:30";
    ASSERT_TRUE(SaveShutdownSettings(dir.path(), s));
    EXPECT_EQ(std::filesystem::file_size(dir / "exit.dll"), 63u);
    const ShutdownSettings back = LoadShutdownSettings(dir.path());
    EXPECT_EQ(back.time[0], "8:30 ");
    EXPECT_EQ(back.time[8], "ab   ");
}

struct RuleCase {
    const char* what;
    std::array<std::int16_t, 9> check;
    int weekday;
    std::optional<int> hour;
};

class ShutdownRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ShutdownRule, PicksTheSlotForToday) {
    ShutdownSettings s;
    s.check = GetParam().check;
    s.time = {"17:30", "12:00", "13:00", "14:00", "15:00", "16:00", "18:00", "19:00", "xx:xx"};
    const auto t = TodaysShutdownTime(s, GetParam().weekday);
    ASSERT_EQ(t.has_value(), GetParam().hour.has_value()) << GetParam().what;
    if (t) {
        EXPECT_EQ(t->hour, *GetParam().hour) << GetParam().what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Slots, ShutdownRule,
    ::testing::Values(RuleCase{"mode off: daily time every day", {1, 1, 0, 0, 0, 0, 0, 0, 0}, 1, 17},
                      RuleCase{"mode on: Monday's own time", {1, 1, 0, 0, 0, 0, 0, 0, 1}, 1, 12},
                      RuleCase{"mode on: unticked Tuesday falls back", {1, 1, 0, 0, 0, 0, 0, 0, 1}, 2, 17},
                      RuleCase{"mode on, no daily: no shutdown", {0, 1, 0, 0, 0, 0, 0, 0, 1}, 2, std::nullopt},
                      RuleCase{"all unticked", {0, 0, 0, 0, 0, 0, 0, 0, 0}, 3, std::nullopt},
                      RuleCase{"weekday flag must be exactly 1", {1, 0, -1, 0, 0, 0, 0, 0, 1}, 2, 17},
                      RuleCase{"daily flag must be exactly 1", {2, 0, 0, 0, 0, 0, 0, 0, 0}, 2, std::nullopt},
                      RuleCase{"Sunday", {0, 0, 0, 0, 0, 0, 0, 1, 5}, 7, 19}));

}  // namespace
}  // namespace lingchao
