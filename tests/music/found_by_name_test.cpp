// Paths written on another computer: files found by name in the music folder, and the tidy that writes them back.
#include <gtest/gtest.h>

#include <algorithm>

#include "music/media_path.h"
#include "music/music_names.h"
#include "music/path_tidy.h"
#include "store/gbk.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

const std::string kOldShangKe = "D:\\" + test::kGbkLingSheng + "\\" + test::kGbkShangKe + ".MP3";  // GBK bytes

// GBK bytes of a UTF-8 text, for fixture fields beyond the code-page table's few words.
std::string G(const std::string& utf8) { return Utf8ToGbk(utf8); }

void Touch(const fs::path& file, const std::string& content = "RIFF") {
    fs::create_directories(file.parent_path());
    test::WriteAll(file, std::vector<std::uint8_t>(content.begin(), content.end()));
}

// Restores "no snapshot" after each test: the installed one is process-wide.
class FoundByName : public ::testing::Test {
protected:
    void TearDown() override { InstallMusicNames(nullptr); }
    fs::path Music() const { return dir / "music"; }
    test::TempFolder dir;
};

struct NameRow {
    std::string stored;
    std::string name;
};

TEST(StoredFileName, IsTheTextAfterTheLastSeparatorOfEitherKind) {
    const std::vector<NameRow> rows = {
        {"D:\\铃声\\上课.MP3", "上课.MP3"},
        {"/home/a/music/b.wav", "b.wav"},
        {"C:\\a/b\\c.mid", "c.mid"},
        {"课间.m3u", "课间.m3u"},
        {"D:\\铃声\\", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(StoredFileName(row.stored), row.name) << row.stored;
    // Decoded before it is cut: a GBK character whose second byte is '\' stays whole.
    EXPECT_EQ(StoredFileName(GbkToUtf8("D:\\\x95\x5C.wav")), GbkToUtf8("\x95\x5C.wav"));
}

TEST(FileNameKey, FoldsCaseAsWindowsDoesAndReadsRawGbkNames) {
    EXPECT_EQ(FileNameKey("上课.MP3"), FileNameKey("上课.mp3"));
    EXPECT_EQ(FileNameKey("Ärger.WAV"), FileNameKey("ärger.wav"));
    EXPECT_EQ(FileNameKey("e\xCC\x81.wav"), FileNameKey("\xC3\xA9.wav"));  // decomposed and composed é
    EXPECT_NE(FileNameKey("上课.mp3"), FileNameKey("下课.mp3"));
    // A name copied from a Windows disk as raw GBK bytes.
    EXPECT_EQ(FileNameKey(test::kGbkShangKe + ".mp3"), FileNameKey("上课.MP3"));
}

TEST_F(FoundByName, AnOldWindowsPathFindsItsFileInASubfolder) {
    Touch(Music() / "铃声" / "上课.mp3");
    Touch(Music() / "下课.wav");
    const auto names = MusicNames::Scan(Music());
    const ResolvedMediaPath where = ResolveMediaPath(GbkToUtf8(kOldShangKe), {}, names);
    EXPECT_TRUE(where.foundByName);
    EXPECT_EQ(where.sameNames, 1);
    EXPECT_EQ(where.path, (Music() / "铃声" / "上课.mp3").string());
    EXPECT_TRUE(where.problem.empty());

    // A path that exists as given is taken as it is; a name found nowhere is as missing as before.
    const ResolvedMediaPath here = ResolveMediaPath((Music() / "下课.wav").string(), {}, names);
    EXPECT_FALSE(here.foundByName);
    const ResolvedMediaPath nowhere = ResolveMediaPath("D:\\铃声\\放学.mp3", {}, names);
    EXPECT_TRUE(nowhere.path.empty());
    EXPECT_EQ(nowhere.problem, "no such file");
    // Nothing installed: nothing is found by name.
    EXPECT_TRUE(ResolveMediaPath("D:\\铃声\\上课.mp3").path.empty());
}

TEST_F(FoundByName, SeveralFilesOfTheNameGiveTheShallowestThenTheFirstInNameOrder) {
    Touch(Music() / "b" / "上课.mp3");
    Touch(Music() / "a" / "x" / "上课.mp3");
    Touch(Music() / "a b" / "上课.MP3");
    Touch(Music() / "a" / "上课.Mp3");
    Touch(Music() / ".hidden" / "上课.mp3");
    Touch(Music() / ".上课.mp3.new");
    const auto names = MusicNames::Scan(Music());
    auto match = names->Find("D:\\铃声\\上课.mp3");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->path, Music() / "a" / "上课.Mp3");  // folder "a" before "a b" before "b"; "a/x" is deeper
    EXPECT_EQ(match->sameNames, 4);

    Touch(Music() / "上课.mp3");
    match = MusicNames::Scan(Music())->Find("上课.mp3");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->path, Music() / "上课.mp3");
    EXPECT_EQ(match->sameNames, 5);
}

TEST_F(FoundByName, TheInstalledSnapshotServesEveryCallerAndTheBellLog) {
    Touch(Music() / "铃声" / "上课.mp3");
    InstallMusicNames(MusicNames::Scan(Music()));
    const std::string old = GbkToUtf8(kOldShangKe);
    EXPECT_TRUE(ResolveMediaPath(old).foundByName);
    EXPECT_EQ(PathForBellLog(old), (Music() / "铃声" / "上课.mp3").string() + " (found by name)");
    EXPECT_EQ(PathForBellLog("/nowhere/x.wav"), "/nowhere/x.wav");
    // A file gone since the scan is not offered.
    fs::remove(Music() / "铃声" / "上课.mp3");
    EXPECT_FALSE(ResolveMediaPath(old).foundByName);
    EXPECT_EQ(PathForBellLog(old), old);
}

TEST_F(FoundByName, ARelativeListEntryIsFoundByNameToo) {
    Touch(Music() / "sounds" / "课间1.wav");
    const auto names = MusicNames::Scan(Music());
    const ResolvedMediaPath where = ResolveMediaPath("旧\\课间1.WAV", Music(), names);
    EXPECT_TRUE(where.foundByName);
    EXPECT_EQ(where.path, (Music() / "sounds" / "课间1.wav").string());
}

// The tidy -------------------------------------------------------------------------------------------------------

std::size_t MusicField(int record, int slot) { return (record - 1) * 4174u + 62u + 512u * slot; }

std::string FieldText(const std::vector<std::uint8_t>& file, int record, int slot) {
    std::string text(file.begin() + static_cast<long>(MusicField(record, slot)),
                     file.begin() + static_cast<long>(MusicField(record, slot) + 512));
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// Every byte that differs lies inside one of the given music fields.
void ExpectOnlyFieldsDiffer(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                            const std::vector<std::pair<int, int>>& fields) {
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i]) continue;
        const bool inField = std::any_of(fields.begin(), fields.end(), [i](const auto& f) {
            return i >= MusicField(f.first, f.second) && i < MusicField(f.first, f.second) + 512;
        });
        ASSERT_TRUE(inField) << "byte " << i << " changed";
    }
}

class Tidy : public FoundByName {
protected:
    void SetUp() override {
        Touch(Music() / "铃声" / "上课.mp3");
        Touch(Music() / "课间" / "眼保健操.wav");
        Touch(Music() / "升旗曲.wav");
        // Job 1: music moved; Monday's song found, Tuesday's not. Job 2: fine, with a name that is no valid GBK and
        // odd flags, bytes the tidy must carry over untouched. Job 3: the list, by an old path.
        timetable = test::FixtureGroup(
            {{1,
              test::kGbkShangKe,
              "08:00",
              "Everyday",
              "START",
              {kOldShangKe, "D:\\" + test::kGbkShengQi + "\\" + G("升旗曲.wav"), "E:\\gone.wav"},
              {1, 1, 1}},
             {2, "\x81\x20\xFF\xFE", "09:00", "Everyday", "PAUSE", {G((Music() / "升旗曲.wav").string())}, {7, -1, 3}},
             {3, "L", "10:00", "2026-12-07", "START", {G("C:\\Documents and Settings\\a\\课间.M3U")}, {}}});
        test::WriteAll(dir / "default.dll", timetable);
        group = test::FixtureGroup({{1, "G", "07:00", "Everyday", "START", {kOldShangKe}, {}}});
        fs::create_directories(dir / "job");
        test::WriteAll(dir / "job" / "考试周.sav", group);
        // CR LF, a lone LF, a directive, a blank line and no line end at the end.
        const std::string listGbk = "#EXTM3U\r\nD:\\" + test::kGbkLingSheng + "\\" + G("眼保健操.WAV") + "\r\n\r\n" +
                                    G((Music() / "升旗曲.wav").string()) + "\nE:\\" + G("不在.mp3");
        list = std::vector<std::uint8_t>(listGbk.begin(), listGbk.end());
        test::WriteAll(Music() / "课间.m3u", list);
        names = MusicNames::Scan(Music());
    }

    const StrayPath* Row(const std::vector<StrayPath>& rows, const std::string& owner, const std::string& old) {
        for (const auto& r : rows)
            if (r.owner == owner && r.oldPath == old) return &r;
        return nullptr;
    }

    std::vector<std::uint8_t> timetable, group, list;
    std::shared_ptr<const MusicNames> names;
};

TEST_F(Tidy, TheTableListsEveryPathThatNamesNoFileWithTheFileFound) {
    const auto rows = FindStrayPaths(dir.path(), names);
    std::vector<std::string> seen;
    for (const auto& r : rows) seen.push_back(r.owner + " | " + r.oldPath + " | " + FoundColumnText(r, dir.path()));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "任务1 上课 | D:\\铃声\\上课.MP3 | music/铃声/上课.mp3",
                        "任务1 上课（星期一） | D:\\升旗\\升旗曲.wav | music/升旗曲.wav",
                        "任务1 上课（星期二） | E:\\gone.wav | 未找到",
                        "任务3 L | C:\\Documents and Settings\\a\\课间.M3U | music/课间.m3u",
                        "考试周.sav 任务1 G | D:\\铃声\\上课.MP3 | music/铃声/上课.mp3",
                        "课间.m3u | D:\\铃声\\眼保健操.WAV | music/课间/眼保健操.wav",
                        "课间.m3u | E:\\不在.mp3 | 未找到",
                    }));
}

TEST_F(Tidy, RewritesExactlyThePathFieldsAfterKeepingEachFileInANewBackup) {
    const auto rows = FindStrayPaths(dir.path(), names);
    const TidyResult result = TidyStrayPaths(dir.path(), rows, true);
    EXPECT_EQ(result.paths, 5);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_TRUE(result.timetableChanged);
    EXPECT_EQ(result.notFound, 2);  // E:\gone.wav in the timetable, E:\不在.mp3 in the list
    EXPECT_NE(TidyResultText(result).find("\n2个路径未找到，保持原样。"), std::string::npos) << TidyResultText(result);

    const auto after = test::ReadAll(dir / "default.dll");
    ExpectOnlyFieldsDiffer(timetable, after, {{1, 0}, {1, 1}, {3, 0}});
    EXPECT_EQ(FieldText(after, 1, 0), Utf8ToGbk((Music() / "铃声" / "上课.mp3").string()));
    EXPECT_EQ(FieldText(after, 1, 1), Utf8ToGbk((Music() / "升旗曲.wav").string()));
    EXPECT_EQ(FieldText(after, 1, 2), "E:\\gone.wav");  // not found: left as it was
    EXPECT_EQ(FieldText(after, 3, 0), Utf8ToGbk((Music() / "课间.m3u").string()));

    const auto groupAfter = test::ReadAll(dir / "job" / "考试周.sav");
    ExpectOnlyFieldsDiffer(group, groupAfter, {{1, 0}});

    // Only the one line changes; line ends, the directive, the blank line and the missing last end stay.
    const auto listAfter = test::ReadAll(Music() / "课间.m3u");
    const std::string expected = "#EXTM3U\r\n" + G((Music() / "课间" / "眼保健操.wav").string()) + "\r\n\r\n" +
                                 G((Music() / "升旗曲.wav").string()) + "\nE:\\" + G("不在.mp3");
    EXPECT_EQ(std::string(listAfter.begin(), listAfter.end()), expected);

    // Each file as it was, under its own path in one dated folder that the message names; no .bak any more.
    ASSERT_EQ(result.backup.parent_path(), dir / "backup");
    EXPECT_TRUE(result.backupName.starts_with("backup/") && result.backupName.ends_with(" 整理")) << result.backupName;
    EXPECT_EQ(test::ReadAll(result.backup / "default.dll"), timetable);
    EXPECT_EQ(test::ReadAll(result.backup / "job" / "考试周.sav"), group);
    EXPECT_EQ(test::ReadAll(result.backup / "music" / "课间.m3u"), list);
    EXPECT_FALSE(fs::exists(dir / "default.dll.bak"));
    EXPECT_NE(TidyResultText(result).find("“" + result.backupName + "”"), std::string::npos);

    // Once tidied, only what was not found is left; a second tidy keeps its own backup beside the first.
    const auto left = FindStrayPaths(dir.path(), MusicNames::Scan(Music()));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_TRUE(left[0].found.empty());
    EXPECT_TRUE(left[1].found.empty());
    Touch(Music() / "gone.wav");
    const TidyResult second = TidyStrayPaths(dir.path(), FindStrayPaths(dir.path(), MusicNames::Scan(Music())), true);
    EXPECT_EQ(second.paths, 1);
    EXPECT_NE(second.backup, result.backup);
    EXPECT_EQ(test::ReadAll(second.backup / "default.dll"), after);
    EXPECT_EQ(test::ReadAll(result.backup / "default.dll"), timetable);
}

TEST_F(Tidy, WithoutTheBoxTickedOnlyTheTimetableInUseChanges) {
    const TidyResult result = TidyStrayPaths(dir.path(), FindStrayPaths(dir.path(), names), false);
    EXPECT_EQ(result.paths, 3);
    EXPECT_EQ(result.notFound, 1);  // the list's path not found is not the timetable's to count
    EXPECT_EQ(result.files, (std::vector<fs::path>{dir / "default.dll"}));
    EXPECT_EQ(test::ReadAll(dir / "job" / "考试周.sav"), group);
    EXPECT_EQ(test::ReadAll(Music() / "课间.m3u"), list);
    EXPECT_TRUE(fs::exists(result.backup / "default.dll"));
    EXPECT_FALSE(fs::exists(result.backup / "job"));
    EXPECT_FALSE(fs::exists(result.backup / "music"));
}

TEST_F(Tidy, WhenNoBackupCanBeMadeNothingChanges) {
    test::WriteAll(dir / "backup", {'x'});  // a file where the backups' folder belongs
    const TidyResult result = TidyStrayPaths(dir.path(), FindStrayPaths(dir.path(), names), true);
    EXPECT_EQ(result.paths, 0);
    EXPECT_FALSE(result.backupFailure.empty());
    EXPECT_FALSE(result.timetableChanged);
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), timetable);
    EXPECT_EQ(test::ReadAll(dir / "job" / "考试周.sav"), group);
    EXPECT_EQ(test::ReadAll(Music() / "课间.m3u"), list);
    EXPECT_NE(TidyResultText(result).find("没有改动任何路径"), std::string::npos);
}

TEST_F(Tidy, APathChangedSinceTheTableWasMadeIsLeftAndReported) {
    const auto rows = FindStrayPaths(dir.path(), names);
    // Job 1's music is edited in between.
    auto edited = timetable;
    const std::string other = "D:\\new.wav";
    std::copy(other.begin(), other.end(), edited.begin() + static_cast<long>(MusicField(1, 0)));
    test::WriteAll(dir / "default.dll", edited);
    const TidyResult result = TidyStrayPaths(dir.path(), rows, false);
    EXPECT_EQ(result.paths, 2);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_NE(result.failures[0].find("任务1 上课"), std::string::npos) << result.failures[0];
    EXPECT_EQ(FieldText(test::ReadAll(dir / "default.dll"), 1, 0).substr(0, other.size()), other);
}

TEST_F(Tidy, AListLineEditedSinceTheTableWasMadeIsLeftAndReported) {
    const auto rows = FindStrayPaths(dir.path(), names);
    // The list is saved again in between, its old line now naming another file; the rest stays as it was.
    const std::string edited =
        "#EXTM3U\r\nD:\\new.wav\r\n\r\n" + G((Music() / "升旗曲.wav").string()) + "\nE:\\" + G("不在.mp3");
    test::WriteAll(Music() / "课间.m3u", std::vector<std::uint8_t>(edited.begin(), edited.end()));
    const TidyResult result = TidyStrayPaths(dir.path(), rows, true);
    EXPECT_EQ(result.paths, 4);  // the timetable's three and the group's one
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_NE(result.failures[0].find("课间.m3u"), std::string::npos) << result.failures[0];
    const auto listAfter = test::ReadAll(Music() / "课间.m3u");
    EXPECT_EQ(std::string(listAfter.begin(), listAfter.end()), edited);
    // A list with nothing left to change is neither written nor kept.
    EXPECT_EQ(std::count(result.files.begin(), result.files.end(), Music() / "课间.m3u"), 0);
    EXPECT_FALSE(fs::exists(result.backup / "music"));
    EXPECT_NE(TidyResultText(result).find("路径已被修改"), std::string::npos);
}

TEST_F(Tidy, AFoundPathTooLongForTheFieldIsShownAndNotWritten) {
    const fs::path deep = Music() / std::string(250, 'a') / std::string(250, 'b') / "上课.mp3";
    fs::remove(Music() / "铃声" / "上课.mp3");
    Touch(deep);
    const auto rows = FindStrayPaths(dir.path(), MusicNames::Scan(Music()));
    const StrayPath* row = Row(rows, "任务1 上课", GbkToUtf8(kOldShangKe));
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->CanTidy());
    EXPECT_EQ(FoundColumnText(*row, dir.path()), "路径超过512字节，无法写入");
    const TidyResult result = TidyStrayPaths(dir.path(), rows, false);
    EXPECT_EQ(FieldText(test::ReadAll(dir / "default.dll"), 1, 0), kOldShangKe);
    EXPECT_EQ(result.unwritable, 1);
    EXPECT_NE(TidyResultText(result).find("1个路径找到的文件无法写入"), std::string::npos) << TidyResultText(result);
}

}  // namespace
}  // namespace lingchao
