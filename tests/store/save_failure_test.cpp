// An edit of the timetable that cannot be saved (read-only folder, full disk) is told at once, in a box with its
// reason and to whoever watches the changes (the clock's warning), and the list shows the file as it really is.
// Links another user planted in the folder never make an edit write anywhere else.

#include <gtest/gtest.h>

#include <functional>

#include "store/job_groups.h"
#include "store/joblist.h"
#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/hostile_files.h"

namespace lingchao {
namespace {

using Names = std::vector<std::string>;

class SaveFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteNumberedGroup(group(), 3);
        jilu.SetChangeReporter([this](const std::string& failure) { reported.push_back(failure); });
        jilu.LoadJobTable(kDefaultGroup);
    }
    std::filesystem::path group() const { return dir / "default.dll"; }
    Names Rows() const { return list.rows; }

    // Every command that changes the timetable, as the main window runs it.
    std::vector<std::pair<const char*, std::function<void()>>> Commands() {
        return {
            {"move up",
             [this] {
                 list.selected = 1;
                 jobs.MoveJobUp();
             }},
            {"move down",
             [this] {
                 list.selected = 0;
                 jobs.MoveJobDown();
             }},
            {"remove",
             [this] {
                 list.selected = 1;
                 dialogs.answers = {MessageAnswer::Ok};
                 jobs.RemoveJob();
             }},
            {"pause one",
             [this] {
                 list.selected = 0;
                 jobs.PauseJob();
             }},
            {"pause all", [this] { jobs.PauseAll(); }},
            {"clear",
             [this] {
                 dialogs.answers = {MessageAnswer::Ok};
                 jobs.ClearJobs();
             }},
        };
    }

    test::TempFolder dir;
    test::FakeList list;
    test::ScriptedDialogs dialogs;
    test::FakeEditor editor;
    test::FakePlayer player;
    Jilu jilu{dir.path(), &list, nullptr};
    JobList jobs{{jilu, list, dialogs, editor, player, [](const JobRecord& r) { return r.JobMusic[0]; }}};
    std::vector<std::string> reported;
};

TEST_F(SaveFailureTest, InAReadOnlyFolderEveryEditIsToldWithItsReasonAndTheListShowsTheFile) {
    const auto before = test::ReadAll(group());
    const Names rowsBefore = Rows();
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    test::PermissionsApply permissions;
    for (const auto& [what, run] : Commands()) {
        dialogs.messages.clear();
        reported.clear();
        run();
        EXPECT_EQ(test::ReadAll(group()), before) << what;
        EXPECT_EQ(Rows(), rowsBefore) << what << ": the list shows a change the file does not hold";
        ASSERT_FALSE(dialogs.messages.empty()) << what;
        const MessageRequest& box = dialogs.messages.back();
        EXPECT_EQ(box.title, "提示") << what;
        EXPECT_EQ(box.text.rfind("任务表没有保存！\n", 0), 0u) << what << ": " << box.text;
        EXPECT_NE(box.text.find("没有写入权限"), std::string::npos) << what << ": " << box.text;
        ASSERT_FALSE(reported.empty()) << what;
        EXPECT_NE(reported.back().find("没有写入权限"), std::string::npos) << what;
    }
    // A move that was not saved leaves the selection on the job, which stayed where it was.
    list.selected = 1;
    jobs.MoveJobUp();
    EXPECT_EQ(list.selected, 1);
    list.selected = 0;
    jobs.MoveJobDown();
    EXPECT_EQ(list.selected, 0);
    // The editor's save reports the same way (the editor shows its own box).
    JobEditorFields fields;
    fields.number = "4";
    fields.time = "10:00";
    EXPECT_FALSE(jilu.SaveJobFromEditor(kDefaultGroup, fields));
    EXPECT_NE(jilu.LastFailure().find("没有写入权限"), std::string::npos) << jilu.LastFailure();
    EXPECT_EQ(Rows(), rowsBefore);
}

TEST_F(SaveFailureTest, AfterAFailureTheNextSavedChangeClearsTheReport) {
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    {
        test::PermissionsApply permissions;
        jobs.PauseAll();
    }
    ASSERT_FALSE(reported.empty());
    EXPECT_FALSE(reported.back().empty());
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    EXPECT_TRUE(jobs.PauseAll());
    EXPECT_EQ(reported.back(), "");
    EXPECT_EQ(jilu.LastFailure(), "");
}

TEST_F(SaveFailureTest, OnAFullDiskANewJobIsNotSavedAndSaysSo) {
    test::TempFolder mountPoint;
    test::SmallFilesystem disk(mountPoint.path(), 64);
    if (!disk.Available()) GTEST_SKIP() << "no small filesystem can be mounted here: " << disk.why();
    test::FakeList smallList;
    Jilu small(mountPoint.path(), &smallList, nullptr);
    test::WriteNumberedGroup(mountPoint / "default.dll", 3);
    const auto before = test::ReadAll(mountPoint / "default.dll");
    disk.Fill();
    JobEditorFields fields;
    fields.number = "4";
    fields.time = "10:00";
    EXPECT_FALSE(small.SaveJobFromEditor(kDefaultGroup, fields));
    EXPECT_NE(small.LastFailure().find("磁盘已满"), std::string::npos) << small.LastFailure();
    EXPECT_EQ(test::ReadAll(mountPoint / "default.dll"), before);
    EXPECT_EQ(smallList.rows.size(), 3u);
    EXPECT_FALSE(small.SwapJobRecords(kDefaultGroup, 1, 1));
    EXPECT_FALSE(small.DeleteJobRecord(kDefaultGroup, 1, 3));
    EXPECT_EQ(test::ReadAll(mountPoint / "default.dll"), before);
}

TEST_F(SaveFailureTest, PlantedLinksAtTheScratchNamesNeverLeadAnEditOutOfTheFolder) {
    test::TempFolder elsewhere;
    const std::vector<std::uint8_t> victim{'m', 'i', 'n', 'e'};
    test::WriteAll(elsewhere / "victim", victim);
    for (const auto& [what, run] : Commands()) {
        test::WriteNumberedGroup(group(), 3);
        jilu.LoadJobTable(kDefaultGroup);
        for (const char* name : {".default.dll.new", "copydefault.dll"}) {
            std::filesystem::remove(dir / name);
            std::filesystem::create_symlink(elsewhere / "victim", dir / name);
        }
        dialogs.messages.clear();
        run();
        EXPECT_EQ(test::ReadAll(elsewhere / "victim"), victim) << what;
        EXPECT_FALSE(std::filesystem::is_symlink(group())) << what << ": the timetable became a link";
        EXPECT_TRUE(dialogs.messages.empty() || dialogs.messages.back().text.find("没有保存") == std::string::npos)
            << what << ": " << dialogs.messages.back().text;
    }
}

TEST_F(SaveFailureTest, AGroupThatCannotBeOpenedIsToldAndTheCurrentOneStays) {
    JobGroups groups(jilu, dialogs);
    const auto before = test::ReadAll(group());
    std::filesystem::create_directories(dir / "job");
    test::MakeFifo(dir / "job" / "fifo.sav");
    dialogs.answers = {MessageAnswer::No};
    dialogs.files = {(dir / "job" / "fifo.sav").string()};
    EXPECT_FALSE(groups.OpenGroup());
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].title, "提示");
    EXPECT_NE(dialogs.messages[1].text.find("不是普通文件"), std::string::npos) << dialogs.messages[1].text;
    EXPECT_EQ(test::ReadAll(group()), before);
}

}  // namespace
}  // namespace lingchao
