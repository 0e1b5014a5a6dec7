#include "store/jilu.h"

#include <gtest/gtest.h>

#include "store/gbk.h"
#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

using Names = std::vector<std::string>;

class JiluTest : public ::testing::Test {
protected:
    test::TempFolder dir;
    test::FakeList list;
    int rebuilds = 0;
    Jilu jilu{dir.path(), &list, [this] { ++rebuilds; }};
    std::filesystem::path group() const { return dir / "default.dll"; }
};

TEST_F(JiluTest, LoadFillsTheListInRecordOrderAndRebuildsTheIndex) {
    test::WriteNumberedGroup(group(), 3);
    list.selected = 1;
    jilu.LoadJobTable("default.dll");
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(list.rows[0], "START   Everyday     08:01   J1" + std::string(38, ' '));
    EXPECT_EQ(list.selected, -1);
    EXPECT_EQ(rebuilds, 1);
}

TEST_F(JiluTest, LoadOfAMissingGroupGivesAnEmptyListAndAnEmptyFile) {
    jilu.LoadJobTable("default.dll");
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(std::filesystem::file_size(group()), 0u);
}

TEST_F(JiluTest, EditorFieldsAreTrimmedAndSavedBackInPlace) {
    test::WriteNumberedGroup(group(), 2);
    JobEditorFields f = jilu.LoadJobIntoEditor("default.dll", 2);
    EXPECT_EQ(f.number, "2");
    EXPECT_EQ(f.name, "J2");
    EXPECT_EQ(f.time, "08:02");
    EXPECT_EQ(f.date, "Everyday");
    EXPECT_EQ(f.music[0], "/m/J2.mp3");
    f.name = "升旗";
    f.date = "";
    f.checks[0] = 1;
    jilu.SaveJobFromEditor("default.dll", f);
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:升旗"}));
    const JobRecord r = GroupFile(group()).Read(2);
    EXPECT_EQ(r.JobDate, "Everyday  ");
    EXPECT_EQ(r.JobFlags[0], 1);
    EXPECT_EQ(list.selected, 1);
}

TEST_F(JiluTest, NewJobIsAppendedAsTheNextRecord) {
    test::WriteNumberedGroup(group(), 2);
    JobEditorFields f;
    f.number = "3";
    f.name = "New";
    f.time = "09:00";
    jilu.SaveJobFromEditor("default.dll", f);
    EXPECT_EQ(std::filesystem::file_size(group()), 3 * JobRecordLength);
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J2", "3:New"}));
    EXPECT_EQ(list.selected, 2);
}

TEST_F(JiluTest, StateChangesTouchOnlyTheStateBytes) {
    test::WriteNumberedGroup(group(), 3);
    auto before = test::ReadAll(group());
    jilu.SetJobState("default.dll", "PAUSE", 2);
    auto after = test::ReadAll(group());
    for (std::size_t i = 0; i < 5; ++i) before[JobRecordLength + 57 + i] = static_cast<std::uint8_t>("PAUSE"[i]);
    EXPECT_EQ(after, before);
    jilu.SetAllJobStates("default.dll", "PAUSE");
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(GroupFile(group()).Read(k).JobState, "PAUSE");
    EXPECT_EQ(list.rows[0].substr(0, 5), "PAUSE");
}

TEST_F(JiluTest, SwapKeepsNumbersEqualToPlaces) {
    test::WriteNumberedGroup(group(), 5);
    jilu.SwapJobRecords("default.dll", 3, +1);
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J2", "3:J4", "4:J3", "5:J5"}));
    jilu.SwapJobRecords("default.dll", 2, -1);
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J2", "2:J1", "3:J4", "4:J3", "5:J5"}));
}

TEST_F(JiluTest, DeleteRenumbersTheFollowingRecordsThroughTheCopyFile) {
    test::WriteNumberedGroup(group(), 4);
    const auto before = test::ReadAll(group());
    ASSERT_TRUE(jilu.DeleteJobRecord("default.dll", 2, 4));
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J3", "3:J4"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "copydefault.dll"));
    // Bytes: record 1 unchanged; records 3 and 4 moved down with only their numbers changed.
    const auto after = test::ReadAll(group());
    ASSERT_EQ(after.size(), 3 * JobRecordLength);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + JobRecordLength, before.begin()));
    for (int k = 2; k <= 3; ++k) {
        const auto from = before.begin() + k * JobRecordLength;
        const auto to = after.begin() + (k - 1) * JobRecordLength;
        EXPECT_EQ(to[0], k) << "record " << k;
        EXPECT_TRUE(std::equal(to + 2, to + JobRecordLength, from + 2)) << "record " << k;
    }
}

TEST_F(JiluTest, DeletingTheOnlyJobDeletesTheFile) {
    test::WriteNumberedGroup(group(), 1);
    jilu.DeleteJobRecord("default.dll", 1, 1);
    EXPECT_FALSE(std::filesystem::exists(group()));
    jilu.LoadJobTable("default.dll");
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(std::filesystem::file_size(group()), 0u);
}

TEST_F(JiluTest, FailedWritesLeaveTheGroupAsItWas) {
    test::WriteNumberedGroup(group(), 2);
    const auto before = test::ReadAll(group());
    // Folders standing where the scratch files must go make every write fail before the rename.
    std::filesystem::create_directory(dir / "copydefault.dll");
    std::filesystem::create_directory(ScratchPathFor(group()));
    EXPECT_FALSE(jilu.DeleteJobRecord("default.dll", 1, 2));
    EXPECT_FALSE(jilu.SwapJobRecords("default.dll", 1, 1));
    EXPECT_FALSE(jilu.SetJobState("default.dll", "PAUSE", 1));
    EXPECT_EQ(test::ReadAll(group()), before);
}

}  // namespace
}  // namespace lingchao
