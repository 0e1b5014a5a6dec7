#include "store/joblist.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

using Names = std::vector<std::string>;

class JobListTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteNumberedGroup(group(), 5);
        jilu.LoadJobTable(kDefaultGroup);
    }
    std::filesystem::path group() const { return dir / "default.dll"; }

    test::TempFolder dir;
    test::FakeList list;
    test::ScriptedDialogs dialogs;
    test::FakeEditor editor;
    test::FakePlayer player;
    int weekday = 3;
    Jilu jilu{dir.path(), &list, nullptr};
    JobList jobs{
        {jilu, list, dialogs, editor, player, [this](const JobRecord& r) { return MusicForWeekday(r, weekday); }}};
};

TEST_F(JobListTest, MovingDownSwapsRecordsAndSelectsTheMovedJob) {
    list.selected = 2;
    jobs.MoveJobDown();
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J2", "3:J4", "4:J3", "5:J5"}));
    EXPECT_EQ(list.selected, 3);
    jobs.MoveJobUp();
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J2", "3:J3", "4:J4", "5:J5"}));
    EXPECT_EQ(list.selected, 2);
}

TEST_F(JobListTest, MovesPastTheEndsOrWithoutSelectionChangeNothing) {
    const auto before = test::ReadAll(group());
    list.selected = 0;
    jobs.MoveJobUp();
    EXPECT_EQ(list.selected, 0) << "the top row lost its selection";
    list.selected = 4;
    jobs.MoveJobDown();
    EXPECT_EQ(list.selected, 4) << "the bottom row lost its selection";
    list.selected = -1;
    jobs.MoveJobUp();
    jobs.MoveJobDown();
    EXPECT_EQ(test::ReadAll(group()), before);
    // Nothing was asked of the file, so nothing can have failed to be saved.
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
}

TEST_F(JobListTest, RemoveAsksAndRenumbers) {
    list.selected = 1;
    dialogs.answers = {MessageAnswer::Ok};
    EXPECT_TRUE(jobs.RemoveJob());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const MessageRequest& ask = dialogs.messages[0];
    EXPECT_EQ(ask.text, "确定要删除任务吗?");
    EXPECT_EQ(ask.title, "提示");
    EXPECT_EQ(ask.icon, MessageIcon::Question);
    EXPECT_EQ(ask.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(ask.defaultButton, 1);
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J3", "3:J4", "4:J5"}));
    EXPECT_EQ(list.rows.size(), 4u);
}

TEST_F(JobListTest, CancelledRemoveChangesNothing) {
    const auto before = test::ReadAll(group());
    list.selected = 1;
    dialogs.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(jobs.RemoveJob());
    EXPECT_EQ(test::ReadAll(group()), before);
    list.selected = -1;
    EXPECT_FALSE(jobs.RemoveJob());
    EXPECT_EQ(dialogs.messages.size(), 1u);  // no question without a selection
}

TEST_F(JobListTest, NewJobOpensTheEditorWithTheNextNumber) {
    jobs.NewJob();
    ASSERT_EQ(editor.captions, (Names{"新建任务"}));
    EXPECT_EQ(editor.shown[0].number, "6");
    EXPECT_EQ(editor.shown[0].state, "START");
    EXPECT_EQ(editor.shown[0].name, "");
}

TEST_F(JobListTest, EditJobLoadsTheSelectedRecord) {
    jobs.EditJob();
    EXPECT_TRUE(editor.captions.empty());
    list.selected = 3;
    jobs.EditJob();
    ASSERT_EQ(editor.captions, (Names{"修改任务"}));
    EXPECT_EQ(editor.shown[0].name, "J4");
    EXPECT_EQ(editor.shown[0].number, "4");
}

TEST_F(JobListTest, RunPlaysTodaysMusicEvenForAPausedJob) {
    list.selected = 1;
    jobs.PauseJob();
    EXPECT_EQ(list.selected, 1);
    EXPECT_EQ(list.rows[1].substr(0, 5), "PAUSE");
    jobs.RunSelectedJob();
    EXPECT_EQ(player.calls, (Names{"FileName=/m/J2.mp3"}));
    list.selected = -1;
    jobs.RunSelectedJob();  // RunJob(0) does nothing
    EXPECT_EQ(player.calls.size(), 1u);
}

TEST_F(JobListTest, StartAndPauseAllDoNothingOnAnEmptyList) {
    EXPECT_TRUE(jobs.PauseAll());
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(GroupFile(group()).Read(k).JobState, "PAUSE");
    EXPECT_TRUE(jobs.PlayAll());
    EXPECT_EQ(GroupFile(group()).Read(5).JobState, "START");
    list.Clear();
    EXPECT_FALSE(jobs.PauseAll());
    EXPECT_EQ(GroupFile(group()).Read(5).JobState, "START");
}

TEST_F(JobListTest, ClearAllAsksThenDeletesTheGroup) {
    EXPECT_FALSE(jobs.ClearJobs());
    EXPECT_TRUE(std::filesystem::exists(group()));
    EXPECT_EQ(dialogs.messages[0].text, "确定清除所用任务吗？");
    EXPECT_EQ(dialogs.messages[0].title, "清空任务");
    dialogs.answers = {MessageAnswer::Ok};
    EXPECT_TRUE(jobs.ClearJobs());
    EXPECT_TRUE(list.rows.empty());
    EXPECT_FALSE(std::filesystem::exists(group()));
    dialogs.answers = {MessageAnswer::Ok};
    EXPECT_TRUE(jobs.ClearJobs());  // no file: still no error
}

TEST_F(JobListTest, RemovingTheOnlyJobLeavesAnEmptyFile) {
    test::WriteNumberedGroup(group(), 1);
    jilu.LoadJobTable(kDefaultGroup);
    list.selected = 0;
    dialogs.answers = {MessageAnswer::Ok};
    jobs.RemoveJob();
    EXPECT_TRUE(list.rows.empty());
    EXPECT_EQ(std::filesystem::file_size(group()), 0u);
}

}  // namespace
}  // namespace lingchao
