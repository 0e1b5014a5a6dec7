// Bringing the old program's folder over: what is copied, what is asked, what is refused.
#include "music/old_files_import.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <regex>

#include "base/backup_folder.h"
#include "music/backup_restore.h"
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

// Every file about to be replaced is in a new dated folder, whole, before the first one changes; the next import
// keeps its own folder beside it; and the message names the folder.
TEST_F(OldFilesImport, WhatItReplacesIsKeptWholeInADatedBackupFirst) {
    ImportPlan plan = PlanImport(old, app);
    test::ScriptedDialogs dialogs;
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    AskReplacements(plan, dialogs);
    bool checked = false;
    const ImportResult result = RunImport(plan, [&](std::uint64_t, std::uint64_t) {
        if (!checked) {
            checked = true;
            const std::vector<BackupEntry> backups = ListBackups(app);
            EXPECT_EQ(backups.size(), 1u);
            if (backups.empty()) return true;
            EXPECT_EQ(backups[0].files, (std::vector<std::string>{"default.dll", "music/铃声/上课.mp3"}));
            EXPECT_EQ(test::ReadAll(backups[0].folder / "default.dll"), here);
            EXPECT_EQ(test::ReadAll(backups[0].folder / "music" / "铃声" / "上课.mp3"), Bytes(10, 9));
        }
        return true;
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(result.replaced, 2);
    EXPECT_TRUE(std::regex_match(result.backupName, std::regex(R"(backup/\d{4}-\d\d-\d\d \d{6} 导入)")))
        << result.backupName;
    EXPECT_EQ(result.backup, app / result.backupName);
    EXPECT_NE(ImportResultText(result).find("“" + result.backupName + "”"), std::string::npos);
    EXPECT_FALSE(fs::exists(app / "default.dll.bak"));

    // A newer timetable on the stick, imported at once: the one just imported goes to a second folder.
    const auto newer = test::FixtureGroup({{1, "N", "06:00", "Everyday", "START", {"D:\\n.wav"}, {}}});
    Put(old / "Default.DLL", newer);
    plan = PlanImport(old, app);
    for (auto& f : plan.files) f.replace = true;
    const ImportResult again = RunImport(plan);
    ASSERT_NE(again.backup, result.backup);
    EXPECT_EQ(test::ReadAll(again.backup / "default.dll"), oldTimetable);
    EXPECT_EQ(test::ReadAll(result.backup / "default.dll"), here);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), newer);

    // A restore puts the first backup back, keeping what is here in a backup of its own, newest first in the list.
    const std::vector<BackupEntry> backups = ListBackups(app);
    ASSERT_EQ(backups.size(), 2u);
    const auto first =
        std::find_if(backups.begin(), backups.end(), [&](const BackupEntry& b) { return b.folder == result.backup; });
    ASSERT_NE(first, backups.end());
    const RestoreResult restored = RestoreBackup(app, *first);
    EXPECT_EQ(restored.restored, 2);
    EXPECT_TRUE(restored.timetableChanged);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), here);
    EXPECT_EQ(test::ReadAll(app / "music" / "铃声" / "上课.mp3"), Bytes(10, 9));
    EXPECT_TRUE(restored.backupName.ends_with(" 恢复前")) << restored.backupName;
    EXPECT_EQ(test::ReadAll(restored.backup / "default.dll"), newer);
    EXPECT_EQ(test::ReadAll(restored.backup / "music" / "铃声" / "上课.mp3"), Bytes(5000, 1));
    EXPECT_EQ(ListBackups(app).front().folder, restored.backup);
    EXPECT_NE(RestoreResultText(restored, *first).find(restored.backupName), std::string::npos);
}

TEST_F(OldFilesImport, ABackupThatCannotBeMadeStopsTheImportBeforeAnythingIsWritten) {
    ImportPlan plan = PlanImport(old, app);
    for (auto& f : plan.files) f.replace = true;
    test::WriteAll(app / "backup", {'x'});  // a file where the backups' folder belongs
    const ImportResult result = RunImport(plan);
    EXPECT_FALSE(result.backupFailure.empty());
    EXPECT_EQ(result.copied + result.replaced, 0);
    EXPECT_FALSE(result.timetableChanged);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), here);
    EXPECT_EQ(test::ReadAll(app / "music" / "铃声" / "上课.mp3"), Bytes(10, 9));
    EXPECT_FALSE(fs::exists(app / "job"));
    EXPECT_FALSE(fs::exists(app / "music" / "课间.m3u"));
    EXPECT_NE(ImportResultText(result).find("没有复制任何文件"), std::string::npos) << ImportResultText(result);
}

// Copied through a system that tells letter case apart, the stick may hold one Windows name twice: both are kept.
TEST_F(OldFilesImport, NamesThatDifferOnlyInLetterCaseAreAllKeptUnderNamesOfTheirOwn) {
    const fs::path stick = root / "两份";
    const auto t1 = test::FixtureGroup({{1, "A", "08:00", "Everyday", "START", {"D:\\a.wav"}, {}}});
    const auto t2 = test::FixtureGroup({{1, "B", "09:00", "Everyday", "START", {"D:\\b.wav"}, {}}});
    Put(stick / "default.dll", t1);
    Put(stick / "DEFAULT.DLL", t2);
    Put(stick / "job" / "x.sav", Bytes(4174, 'a'));
    Put(stick / "job" / "x.SAV", Bytes(4174, 'b'));
    Put(stick / "music" / "课间.m3u", Bytes(3, 'c'));
    Put(stick / "music" / "课间.M3U", Bytes(3, 'd'));
    Put(stick / "music" / "b.wav", Bytes(5, 'e'));
    Put(stick / "MUSIC" / "b.wav", Bytes(5, 'f'));
    const fs::path fresh = root / "fresh";
    ImportPlan plan = PlanImport(stick, fresh);
    const ImportResult result = RunImport(plan);
    EXPECT_EQ(result.copied, 8);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(test::ReadAll(fresh / "default.dll"), t1);  // spelt as here: keeps the name
    EXPECT_EQ(test::ReadAll(fresh / "job" / "default (2).sav"), t2);
    EXPECT_EQ(test::ReadAll(fresh / "job" / "x.sav"), Bytes(4174, 'a'));
    EXPECT_EQ(test::ReadAll(fresh / "job" / "x (2).sav"), Bytes(4174, 'b'));
    EXPECT_EQ(test::ReadAll(fresh / "music" / "课间.m3u"), Bytes(3, 'c'));
    EXPECT_EQ(test::ReadAll(fresh / "music" / "课间 (2).m3u"), Bytes(3, 'd'));
    EXPECT_EQ(test::ReadAll(fresh / "music" / "b.wav"), Bytes(5, 'e'));
    EXPECT_EQ(test::ReadAll(fresh / "music" / "b (2).wav"), Bytes(5, 'f'));
    std::vector<std::string> renamed = result.renamed;
    std::sort(renamed.begin(), renamed.end());
    EXPECT_EQ(renamed, (std::vector<std::string>{"DEFAULT.DLL → job/default (2).sav", "MUSIC/b.wav → music/b (2).wav",
                                                 "job/x.SAV → job/x (2).sav", "music/课间.M3U → music/课间 (2).m3u"}));
    EXPECT_NE(ImportResultText(result).find("只差字母大小写"), std::string::npos);

    // The names come out the same every time: a second import finds everything here already.
    const ImportPlan again = PlanImport(stick, fresh);
    EXPECT_TRUE(std::all_of(again.files.begin(), again.files.end(),
                            [](const ImportFile& f) { return f.status == ImportFile::Status::Same; }));
}

// This computer has shutdown settings only when exit.dll holds some: an empty one (made at the first start) or
// none is replaced without a question.
TEST_F(OldFilesImport, OnlyRealShutdownSettingsHereAreAskedAbout) {
    Put(old / "EXIT.DLL", Bytes(63, '0'));
    for (const int hereSize : {-1, 0, 63}) {
        fs::remove(app / "exit.dll");
        if (hereSize >= 0) Put(app / "exit.dll", Bytes(static_cast<std::size_t>(hereSize), '1'));
        ImportPlan plan = PlanImport(old, app);
        test::ScriptedDialogs dialogs;
        dialogs.answers = {MessageAnswer::No, MessageAnswer::No, MessageAnswer::No};
        AskReplacements(plan, dialogs);
        const bool asked = std::any_of(dialogs.messages.begin(), dialogs.messages.end(),
                                       [](const auto& m) { return m.text.find("exit.dll") != std::string::npos; });
        EXPECT_EQ(asked, hereSize == 63) << hereSize;
        const ImportResult result = RunImport(plan);
        EXPECT_EQ(result.shutdownChanged, hereSize != 63) << hereSize;
        EXPECT_EQ(test::ReadAll(app / "exit.dll"), Bytes(63, hereSize == 63 ? '1' : '0')) << hereSize;
    }
}

// A backup is made only in a folder of its own, also when two are made in the same second; and what a backup
// holds that is not ours, or not what its name claims, is never put back.
TEST_F(OldFilesImport, BackupsNeverShareAFolderAndARestoreWritesOnlyOurFiles) {
    const std::time_t when = 1796630400;
    BackupFolder a(app, "导入", when);
    BackupFolder b(app, "导入", when);
    ASSERT_TRUE(a.Keep("default.dll"));
    ASSERT_TRUE(b.Keep(fs::path("music") / "下课.wav"));
    EXPECT_EQ(b.Path().filename().string(), a.Path().filename().string() + " (2)");
    EXPECT_EQ(test::ReadAll(a.Path() / "default.dll"), here);
    std::string why;
    EXPECT_FALSE(a.Keep("../outside", &why));
    EXPECT_FALSE(a.Keep("job/none.sav", &why));
    EXPECT_EQ(why, "job/none.sav：无法读取");

    // A backup folder edited by hand.
    const fs::path hand = app / "backup" / "2026-01-01 080000 导入";
    Put(hand / "default.dll", Bytes(100, 'x'));  // not whole records
    Put(hand / "lingchao", Bytes(10, 'x'));      // not ours
    Put(hand / "job" / "sub" / "y.sav", Bytes(4174, 'y'));
    Put(hand / "job" / "好.sav", Bytes(4174, 'g'));
    Put(hand / "music" / ".a.wav.new", Bytes(3, 'h'));  // a copy that was cut off
    fs::create_symlink("/etc/passwd", hand / "exit.dll");
    const std::vector<BackupEntry> backups = ListBackups(app);
    const auto entry =
        std::find_if(backups.begin(), backups.end(), [&](const BackupEntry& e) { return e.folder == hand; });
    ASSERT_NE(entry, backups.end());
    const RestoreResult result = RestoreBackup(app, *entry);
    EXPECT_EQ(result.restored, 1);
    EXPECT_EQ(result.skipped.size(), 3u);
    EXPECT_TRUE(result.backup.empty());  // nothing here was replaced
    EXPECT_EQ(test::ReadAll(app / "job" / "好.sav"), Bytes(4174, 'g'));
    EXPECT_EQ(test::ReadAll(app / "default.dll"), here);
    EXPECT_EQ(test::ReadAll(app / "exit.dll"), Bytes(63, '1'));
    EXPECT_FALSE(fs::exists(app / "lingchao"));
    EXPECT_FALSE(fs::exists(app / "job" / "sub"));
    EXPECT_FALSE(fs::exists(app / "music" / "a.wav"));
}

TEST_F(OldFilesImport, AFolderWithNothingOfOursOrTheApplicationFolderItselfIsRefused) {
    EXPECT_FALSE(PlanImport(root / "nothing", app).refused.empty());
    Put(root / "other" / "readme.txt", Bytes(1, 'x'));
    EXPECT_FALSE(PlanImport(root / "other", app).refused.empty());
    EXPECT_FALSE(PlanImport(app, app).refused.empty());
}

}  // namespace
}  // namespace lingchao
