#include "store/group_file.h"

#include <gtest/gtest.h>

#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::FixtureGroup;
using test::FixtureJob;

TEST(JobCount, IsLengthOverRecordRoundedHalfToEven) {
    EXPECT_EQ(JobCountFromLength(0), 0);
    EXPECT_EQ(JobCountFromLength(4174), 1);
    EXPECT_EQ(JobCountFromLength(3 * 4174), 3);
    EXPECT_EQ(JobCountFromLength(2086), 0);
    EXPECT_EQ(JobCountFromLength(2087), 0);  // 0.5 rounds to even 0
    EXPECT_EQ(JobCountFromLength(2088), 1);
    EXPECT_EQ(JobCountFromLength(4174 + 2087), 2);      // 1.5 rounds to even 2
    EXPECT_EQ(JobCountFromLength(2 * 4174 + 2087), 2);  // 2.5 rounds to even 2
}

TEST(GroupFile, MissingFileOpensEmptyAndIsCreated) {
    test::TempFolder dir;
    GroupFile g(dir / "default.dll");
    EXPECT_EQ(g.Count(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "default.dll"));
    EXPECT_EQ(std::filesystem::file_size(dir / "default.dll"), 0u);
}

TEST(GroupFile, ReadsRecordsOfAHandBuiltFileFieldForField) {
    test::TempFolder dir;
    test::WriteAll(
        dir / "default.dll",
        FixtureGroup({{1, test::kGbkShangKe, "08:00", "Everyday", "START", {"/m/" + test::kGbkLingSheng + ".mp3"}, {}},
                      {2, "Exam", "10:40", "2026-12-07", "PAUSE", {"/m/exam.m3u"}, {1, 1}}}));
    GroupFile g(dir / "default.dll");
    ASSERT_EQ(g.Count(), 2);
    const JobRecord a = g.Read(1);
    EXPECT_EQ(a.JobName.substr(0, 6), "上课");
    EXPECT_EQ(a.JobMusic[0].substr(0, 13), "/m/铃声.mp3");
    const JobRecord b = g.Read(2);
    EXPECT_EQ(b.JobNo, 2);
    EXPECT_EQ(b.JobDate, "2026-12-07");
    EXPECT_EQ(b.JobState, "PAUSE");
    EXPECT_EQ(b.JobFlags[1], 1);
    // At and past the end: blank.
    EXPECT_EQ(g.Read(3).JobState, "     ");
    EXPECT_EQ(g.Read(0).JobNo, 0);
}

TEST(GroupFile, WritingProducesTheLayoutsBytesAndExtendsAfterTheLast) {
    test::TempFolder dir;
    const auto expected = FixtureGroup({{1, test::kGbkShengQi, "07:55", "Everyday", "START", {"a.mp3"}, {}},
                                        {2, "Bell", "08:00", "2006-01-01", "PAUSE", {"b.mid"}, {1, 0, 1}}});
    GroupFile g(dir / "default.dll");
    JobRecord r = BlankJobRecord();
    r.JobNo = 1, r.JobName = "升旗", r.JobTime = "07:55", r.JobDate = "Everyday", r.JobState = "START";
    r.JobMusic[0] = "a.mp3";
    ASSERT_TRUE(g.Write(1, r));
    JobRecord s = BlankJobRecord();
    s.JobNo = 2, s.JobName = "Bell", s.JobTime = "08:00", s.JobDate = "2006-01-01", s.JobState = "PAUSE";
    s.JobMusic[0] = "b.mid";
    s.JobFlags = {1, 0, 1, 0, 0, 0, 0, 0};
    ASSERT_TRUE(g.Write(2, s));
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), expected);
}

TEST(GroupFile, WritingPastTheEndFillsTheGapWithZeroBytes) {
    test::TempFolder dir;
    GroupFile g(dir / "default.dll");
    JobRecord r = BlankJobRecord();
    r.JobNo = 3, r.JobName = "J3", r.JobTime = "08:03", r.JobDate = "Everyday", r.JobState = "START";
    ASSERT_TRUE(g.Write(3, r));
    const auto bytes = test::ReadAll(dir / "default.dll");
    ASSERT_EQ(bytes.size(), 3 * JobRecordLength);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 2 * JobRecordLength),
              std::vector<std::uint8_t>(2 * JobRecordLength, 0));
    EXPECT_EQ(g.Read(3).JobName.substr(0, 2), "J3");
}

TEST(GroupFile, PartialTrailingRecordReadsWithBlankTail) {
    test::TempFolder dir;
    auto bytes =
        FixtureGroup({{1, "A", "08:00", "Everyday", "START", {}, {}}, {2, "B", "09:00", "Everyday", "START", {}, {}}});
    bytes.resize(4174 + 3000);
    test::WriteAll(dir / "g.dll", bytes);
    GroupFile g(dir / "g.dll");
    EXPECT_EQ(g.Count(), 2);
    EXPECT_EQ(g.Read(2).JobName.substr(0, 1), "B");
    EXPECT_EQ(g.Read(2).JobFlags[7], 0);
}

TEST(GroupFile, FailedWriteLeavesTheOldFileWhole) {
    test::TempFolder dir;
    const auto original = FixtureGroup({{1, "A", "08:00", "Everyday", "START", {}, {}}});
    test::WriteAll(dir / "default.dll", original);
    // A folder standing where the scratch file must go makes the write fail half way.
    std::filesystem::create_directory(ScratchPathFor(dir / "default.dll"));
    GroupFile g(dir / "default.dll");
    EXPECT_FALSE(g.Write(2, BlankJobRecord()));
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), original);
}

TEST(CopyWholeFile, WithoutOverwriteFailsOnAnExistingTarget) {
    test::TempFolder dir;
    test::WriteAll(dir / "a", {1, 2, 3});
    test::WriteAll(dir / "b", {9});
    EXPECT_FALSE(CopyWholeFile(dir / "a", dir / "b", false));
    EXPECT_EQ(test::ReadAll(dir / "b"), (std::vector<std::uint8_t>{9}));
    EXPECT_TRUE(CopyWholeFile(dir / "a", dir / "b", true));
    EXPECT_EQ(test::ReadAll(dir / "b"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(CopyWholeFile(dir / "a", dir / "c", false));
    EXPECT_EQ(test::ReadAll(dir / "c"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(CopyWholeFile(dir / "missing", dir / "d", false));
    EXPECT_FALSE(std::filesystem::exists(dir / "d"));
}

}  // namespace
}  // namespace lingchao
