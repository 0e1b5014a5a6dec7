#include "store/job_groups.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

using Names = std::vector<std::string>;

class JobGroupsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir / "job");
        test::WriteNumberedGroup(dir / "default.dll", 3);
        jilu.LoadJobTable(kDefaultGroup);
    }
    std::string Job(const std::string& name) const { return (dir / "job" / name).string(); }

    test::TempFolder dir;
    test::FakeList list;
    test::ScriptedDialogs dialogs;
    Jilu jilu{dir.path(), &list, nullptr};
    JobGroups groups{jilu, dialogs};
};

TEST_F(JobGroupsTest, SaveCreatesAByteIdenticalCopyInTheJobFolder) {
    dialogs.files = {Job("week.sav")};
    EXPECT_TRUE(groups.SaveGroup());
    EXPECT_EQ(test::ReadAll(Job("week.sav")), test::ReadAll(dir / "default.dll"));
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "保存任务组");
    EXPECT_EQ(dialogs.fileRequests[0].filter, "存档文件(*.sav)|*.sav|");
    EXPECT_EQ(dialogs.fileRequests[0].startFolder, (dir / "job").string());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(JobGroupsTest, NameWithoutExtensionGetsSav) {
    dialogs.files = {Job("考试")};
    EXPECT_TRUE(groups.SaveGroup());
    EXPECT_TRUE(std::filesystem::exists(Job("考试.sav")));
}

TEST_F(JobGroupsTest, SavingOverAnExistingNameAsksAndNoOpensTheDialogAgain) {
    test::WriteAll(Job("old.sav"), {1, 2, 3});
    dialogs.files = {Job("old.sav"), Job("new.sav")};
    dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(groups.SaveGroup());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "是否覆盖现有文件?");
    EXPECT_EQ(dialogs.messages[0].title, "文件已存在");
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.messages[0].defaultButton, 1);
    EXPECT_EQ(test::ReadAll(Job("old.sav")), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(Job("new.sav")));
}

TEST_F(JobGroupsTest, YesReplacesTheExistingFile) {
    test::WriteAll(Job("old.sav"), {1, 2, 3});
    dialogs.files = {Job("old.sav")};
    dialogs.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(groups.SaveGroup());
    EXPECT_EQ(test::ReadAll(Job("old.sav")), test::ReadAll(dir / "default.dll"));
}

TEST_F(JobGroupsTest, OpenReplacesEveryJobAndSelectsNothing) {
    test::WriteNumberedGroup(dir / "job" / "five.sav", 5);
    list.selected = 1;
    dialogs.answers = {MessageAnswer::No};
    dialogs.files = {Job("five.sav")};
    EXPECT_TRUE(groups.OpenGroup());
    EXPECT_EQ(dialogs.messages[0].text, "在打开任务组前,是否保存现有任务组?");
    EXPECT_EQ(dialogs.messages[0].title, "问题");
    EXPECT_EQ(dialogs.messages[0].defaultButton, 0);
    EXPECT_EQ(dialogs.fileRequests[0].title, "打开任务组");
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), test::ReadAll(dir / "job" / "five.sav"));
    EXPECT_EQ(list.rows.size(), 5u);
    EXPECT_EQ(list.selected, -1);
}

TEST_F(JobGroupsTest, YesThenCancelledSaveStillGoesOnToOpen) {
    test::WriteNumberedGroup(dir / "job" / "five.sav", 5);
    dialogs.answers = {MessageAnswer::Yes};
    dialogs.files = {std::nullopt, Job("five.sav")};
    EXPECT_TRUE(groups.OpenGroup());
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(list.rows.size(), 5u);
}

TEST_F(JobGroupsTest, CancelledOrFailedOpenLeavesEverythingAsItWas) {
    const auto before = test::ReadAll(dir / "default.dll");
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No, MessageAnswer::No};
    EXPECT_FALSE(groups.OpenGroup());  // cancelled
    dialogs.files = {Job("missing.sav")};
    EXPECT_FALSE(groups.OpenGroup());  // unreadable
    // A copy that cannot be completed (its scratch file cannot be written) leaves the current group whole.
    test::WriteNumberedGroup(dir / "job" / "five.sav", 5);
    std::filesystem::create_directory(ScratchPathFor(dir / "default.dll"));
    dialogs.files = {Job("five.sav")};
    EXPECT_FALSE(groups.OpenGroup());
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), before);
    EXPECT_EQ(list.rows.size(), 3u);
}

TEST_F(JobGroupsTest, AClearedGroupIsSavedAsAnEmptyGroup) {
    std::filesystem::remove(dir / "default.dll");
    dialogs.files = {Job("empty.sav")};
    EXPECT_TRUE(groups.SaveGroup());
    EXPECT_EQ(std::filesystem::file_size(Job("empty.sav")), 0u);
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace lingchao
