// Bringing the old program's folder over: what is copied, what is asked, what is refused.
#include "player/old_files_import.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "support/fakes.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(file.parent_path());
    test::WriteAll(file, bytes);
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t fill) { return std::vector<std::uint8_t>(n, fill); }

class OldFilesImport : public ::testing::Test {
protected:
    void SetUp() override {
        oldTimetable = test::FixtureGroup({{1, "A", "08:00", "Everyday", "START", {"D:\\a.wav"}, {}},
                                           {2, "B", "09:00", "Everyday", "START", {"D:\\b.wav"}, {}}});
        // As copied from a Windows PC: names in any letter case.
        Put(old / "Default.DLL", oldTimetable);
        Put(old / "EXIT.DLL", Bytes(62, '0'));  // one byte short: not shutdown settings
        Put(old / "JOB" / "考试周.SAV", Bytes(4174, ' '));
        Put(old / "JOB" / "坏.sav", Bytes(100, ' '));
        Put(old / "JOB" / "说明.txt", Bytes(3, 'x'));
        Put(old / "Music" / "铃声" / "上课.mp3", Bytes(5000, 1));
        Put(old / "Music" / "课间.M3U", Bytes(10, 'l'));
        Put(old / "Music" / "null.dll", {});
        Put(old / "Music" / "下课.wav", Bytes(300, 2));
        fs::create_symlink("/etc/passwd", old / "Music" / "link.wav");

        // What this computer has already.
        here = test::FixtureGroup({{1, "X", "07:00", "Everyday", "START", {"/m/x.wav"}, {}}});
        Put(app / "default.dll", here);
        Put(app / "exit.dll", Bytes(63, '1'));
        Put(app / "music" / "下课.wav", Bytes(300, 2));          // the same
        Put(app / "music" / "铃声" / "上课.mp3", Bytes(10, 9));  // another file of that name
    }

    const ImportFile* File(const ImportPlan& plan, const std::string& name) {
        for (const auto& f : plan.files)
            if (f.name == name) return &f;
        return nullptr;
    }

    test::TempFolder root;
    fs::path old = root / "旧电脑";
    fs::path app = root / "app";
    std::vector<std::uint8_t> oldTimetable, here;
};

TEST_F(OldFilesImport, ThePlanNamesEachFileWithWhatWillHappenToIt) {
    const ImportPlan plan = PlanImport(old, app);
    EXPECT_TRUE(plan.refused.empty());
    std::vector<std::string> seen;
    for (const auto& f : plan.files) {
        static const char* kStatus[] = {"new", "same", "differs", "bad"};
        seen.push_back(f.name + " " + kStatus[static_cast<int>(f.status)]);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"default.dll differs", "exit.dll bad", "job/坏.sav bad",
                                              "job/考试周.sav new", "music/link.wav bad", "music/下课.wav same",
                                              "music/课间.m3u new", "music/铃声/上课.mp3 differs"}));
    EXPECT_NE(File(plan, "exit.dll")->why.find("63"), std::string::npos);
    EXPECT_NE(File(plan, "job/坏.sav")->why.find("4174"), std::string::npos);
}

TEST_F(OldFilesImport, AsksBeforeReplacingCopiesSkipsTheBadAndReports) {
    ImportPlan plan = PlanImport(old, app);
    test::ScriptedDialogs dialogs;
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};  // the timetable yes, the music no
    AskReplacements(plan, dialogs);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[0].text.find("default.dll"), std::string::npos);
    EXPECT_EQ(dialogs.messages[0].title, "导入旧电脑的文件");
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs.messages[0].defaultButton, 1);
    EXPECT_NE(dialogs.messages[1].text.find("music/铃声/上课.mp3"), std::string::npos);

    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    const ImportResult result = RunImport(plan, [&](std::uint64_t done, std::uint64_t total) {
        progress.emplace_back(done, total);
        return true;
    });
    EXPECT_EQ(test::ReadAll(app / "default.dll"), oldTimetable);
    EXPECT_EQ(test::ReadAll(app / "exit.dll"), Bytes(63, '1'));  // the bad one never lands on the good one
    EXPECT_EQ(test::ReadAll(app / "job" / "考试周.sav"), Bytes(4174, ' '));
    EXPECT_FALSE(fs::exists(app / "job" / "坏.sav"));
    EXPECT_FALSE(fs::exists(app / "job" / "说明.txt"));
    EXPECT_EQ(test::ReadAll(app / "music" / "课间.m3u"), Bytes(10, 'l'));
    EXPECT_EQ(test::ReadAll(app / "music" / "铃声" / "上课.mp3"), Bytes(10, 9));  // kept: the user said no
    EXPECT_FALSE(fs::exists(app / "music" / "null.dll"));
    EXPECT_FALSE(fs::exists(app / "music" / "link.wav"));
    EXPECT_EQ(result.copied, 2);
    EXPECT_EQ(result.replaced, 1);
    EXPECT_EQ(result.same, 1);
    EXPECT_EQ(result.kept, 1);
    EXPECT_EQ(result.skipped.size(), 3u);
    EXPECT_TRUE(result.timetableChanged);
    EXPECT_FALSE(result.shutdownChanged);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(progress.back().second, progress.back().second));

    const std::string text = ImportResultText(result);
    EXPECT_NE(text.find("已复制2个新文件，替换1个文件。"), std::string::npos) << text;
    EXPECT_NE(text.find("exit.dll："), std::string::npos) << text;
    EXPECT_NE(text.find("job/坏.sav："), std::string::npos) << text;

    // Again: everything is here now, nothing is asked.
    plan = PlanImport(old, app);
    test::ScriptedDialogs quiet;
    quiet.answers = {MessageAnswer::No};
    AskReplacements(plan, quiet);
    EXPECT_EQ(quiet.messages.size(), 1u);  // only the music file the user kept differs
}

TEST_F(OldFilesImport, SayingNoKeepsEverythingAndStoppingCopiesNoMore) {
    ImportPlan plan = PlanImport(old, app);
    test::ScriptedDialogs dialogs;  // every question answered No
    AskReplacements(plan, dialogs);
    const ImportResult none = RunImport(plan, [](std::uint64_t, std::uint64_t) { return false; });
    EXPECT_TRUE(none.cancelled);
    EXPECT_EQ(none.copied, 0);
    EXPECT_FALSE(fs::exists(app / "job"));
    const ImportResult result = RunImport(plan);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), here);
    EXPECT_EQ(result.kept, 2);
    EXPECT_FALSE(result.timetableChanged);
}

// The running bell reads default.dll at any moment: it must never find the new timetable before the music it
// names, nor a timetable half written.
TEST_F(OldFilesImport, TheTimetableChangesLastInOneRenameOnceItsMusicIsInPlace) {
    ImportPlan plan = PlanImport(old, app);
    test::ScriptedDialogs dialogs;
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    AskReplacements(plan, dialogs);
    const auto inode = [](const fs::path& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const auto before = inode(app / "default.dll");
    int sawNew = 0;
    const ImportResult result = RunImport(plan, [&](std::uint64_t, std::uint64_t) {
        const auto timetable = test::ReadAll(app / "default.dll");
        if (timetable != oldTimetable) {
            EXPECT_EQ(timetable, here) << "neither the old timetable nor the new one";
            return true;
        }
        ++sawNew;
        EXPECT_EQ(test::ReadAll(app / "music" / "课间.m3u"), Bytes(10, 'l'));
        EXPECT_EQ(test::ReadAll(app / "music" / "铃声" / "上课.mp3"), Bytes(5000, 1));
        EXPECT_EQ(test::ReadAll(app / "job" / "考试周.sav"), Bytes(4174, ' '));
        return true;
    });
    EXPECT_EQ(sawNew, 1) << "the timetable is written last";
    EXPECT_TRUE(result.timetableChanged);
    EXPECT_EQ(result.replaced, 2);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_NE(inode(app / "default.dll"), before) << "replaced by a rename, not rewritten in place";
}

TEST_F(OldFilesImport, AStopOrAFailedMusicCopyLeavesTheTimetableInUseAsItWas) {
    ImportPlan plan = PlanImport(old, app);
    test::ScriptedDialogs dialogs;
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    AskReplacements(plan, dialogs);

    // Stopped after the first music file.
    int calls = 0;
    const ImportResult stopped = RunImport(plan, [&](std::uint64_t, std::uint64_t) { return ++calls < 2; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.copied + stopped.replaced, 1);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), here);
    EXPECT_FALSE(stopped.timetableChanged);

    // A music file gone from the old folder since the plan was made.
    fs::remove(old / "Music" / "铃声" / "上课.mp3");
    const ImportResult failed = RunImport(plan);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), here);
    EXPECT_FALSE(failed.timetableChanged);
    ASSERT_EQ(failed.failed.size(), 2u);
    EXPECT_EQ(failed.failed[0], "music/铃声/上课.mp3：无法读取");
    EXPECT_EQ(failed.failed[1].rfind("default.dll：", 0), 0u) << failed.failed[1];
    EXPECT_NE(ImportResultText(failed).find("以下文件复制失败：\nmusic/铃声/上课.mp3：无法读取\ndefault.dll："),
              std::string::npos);
}

TEST_F(OldFilesImport, AFolderWithNothingOfOursOrTheApplicationFolderItselfIsRefused) {
    EXPECT_FALSE(PlanImport(root / "nothing", app).refused.empty());
    Put(root / "other" / "readme.txt", Bytes(1, 'x'));
    EXPECT_FALSE(PlanImport(root / "other", app).refused.empty());
    EXPECT_FALSE(PlanImport(app, app).refused.empty());
}

}  // namespace
}  // namespace lingchao
