#include "store/job_record.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include "store/gbk.h"
#include "support/fixture_bytes.h"

namespace lingchao {
namespace {

using test::FixtureJob;
using test::FixtureRecord;

FixtureJob ShengQi() {
    return {3,
            test::kGbkShengQi,
            "07:55",
            "Everyday",
            "START",
            {"D:\\" + test::kGbkLingSheng + "\\a.mp3", "", "", "/m/wed.mid"},
            {1, 0, 0, -1, 0, 0, 0, 1}};
}

TEST(JobRecord, LayoutIs4174BytesWithFieldsAtTheirOffsets) {
    const auto bytes = FixtureRecord(ShengQi());
    ASSERT_EQ(bytes.size(), JobRecordLength);
    const JobRecord r = DecodeJobRecord(bytes);
    EXPECT_EQ(r.JobNo, 3);
    EXPECT_EQ(r.JobName, "升旗" + std::string(38, ' '));
    EXPECT_EQ(r.JobTime, "07:55");
    EXPECT_EQ(r.JobDate, "Everyday  ");
    EXPECT_EQ(r.JobState, "START");
    EXPECT_EQ(r.JobMusic[0], "D:\\铃声\\a.mp3" + std::string(512 - 11, ' '));
    EXPECT_EQ(r.JobMusic[3].substr(0, 10), "/m/wed.mid");
    EXPECT_EQ(r.JobFlags, (std::array<std::int16_t, 8>{1, 0, 0, -1, 0, 0, 0, 1}));
}

TEST(JobRecord, EncodingIsByteIdenticalToTheLayout) {
    const auto expected = FixtureRecord(ShengQi());
    JobRecord r;
    r.JobNo = 3;
    r.JobName = "升旗";
    r.JobTime = "07:55";
    r.JobDate = "Everyday";
    r.JobState = "START";
    r.JobMusic[0] = "D:\\铃声\\a.mp3";
    r.JobMusic[3] = "/m/wed.mid";
    r.JobFlags = {1, 0, 0, -1, 0, 0, 0, 1};
    const RecordBytes got = EncodeJobRecord(r);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), expected.end()));
    // What is read back encodes to the same bytes again.
    const RecordBytes again = EncodeJobRecord(DecodeJobRecord(got));
    EXPECT_EQ(again, got);
}

TEST(JobRecord, ShortInputDecodesWithBlankTail) {
    auto bytes = FixtureRecord(ShengQi());
    bytes.resize(50);  // cut inside the date
    const JobRecord r = DecodeJobRecord(bytes);
    EXPECT_EQ(r.JobNo, 3);
    EXPECT_EQ(r.JobDate, "Eve       ");
    EXPECT_EQ(r.JobState, "     ");
    EXPECT_EQ(r.JobFlags[0], 0);
    const JobRecord blank = DecodeJobRecord({});
    EXPECT_EQ(blank.JobNo, 0);
    EXPECT_EQ(blank.JobState, "     ");
    EXPECT_EQ(blank.JobMusic[7], std::string(512, ' '));
}

TEST(JobRecord, LongNameIsCutTo40BytesAndComesBackShorter) {
    JobRecord r = BlankJobRecord();
    r.JobName = "一二三四五六七八九十一二三四五六七八九十廿一";
    const JobRecord back = DecodeJobRecord(EncodeJobRecord(r));
    EXPECT_EQ(back.JobName, "一二三四五六七八九十一二三四五六七八九十" + std::string(20, ' '));
}

struct MusicCase {
    std::array<std::int16_t, 8> flags;
    int weekday;
    const char* expected;
};

class MusicForToday : public ::testing::TestWithParam<MusicCase> {};

TEST_P(MusicForToday, FollowsDailySongModeAndTheWeekdayFlag) {
    JobRecord r = BlankJobRecord();
    r.JobMusic[0] = "main.mp3   ";
    r.JobMusic[3] = "wednesday.mp3";
    r.JobMusic[5] = "friday.mp3";
    r.JobFlags = GetParam().flags;
    EXPECT_EQ(MusicForWeekday(r, GetParam().weekday), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, MusicForToday,
    ::testing::Values(MusicCase{{1, 0, 0, 1, 0, 0, 0, 0}, 3, "wednesday.mp3"},
                      MusicCase{{1, 0, 0, 1, 0, 0, 0, 0}, 4, "main.mp3"},
                      MusicCase{{0, 0, 0, 1, 0, 0, 0, 0}, 3, "main.mp3"},     // mode off
                      MusicCase{{1, 0, 0, -1, 0, 0, 0, 0}, 3, "main.mp3"},    // only exactly 1 counts
                      MusicCase{{-1, 0, 0, 0, 0, 1, 0, 0}, 5, "friday.mp3"},  // any non-zero mode is on
                      MusicCase{{1, 0, 0, 0, 0, 0, 0, 1}, 7, ""}));           // ticked Sunday without a path

TEST(JobRowText, Is69CharactersWithPaddedColumns) {
    const JobRecord r = DecodeJobRecord(FixtureRecord(ShengQi()));
    const std::string row = JobRowText(r);
    EXPECT_EQ(row, "START   Everyday     07:55   升旗" + std::string(38, ' '));
    EXPECT_EQ(Utf8Length(row), 69u);
}

}  // namespace
}  // namespace lingchao
