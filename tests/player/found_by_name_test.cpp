// Paths written on another computer: files found by name in the music folder.
#include <gtest/gtest.h>

#include "player/media_path.h"
#include "player/music_names.h"
#include "store/gbk.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

const std::string kOldShangKe = "D:\\" + test::kGbkLingSheng + "\\" + test::kGbkShangKe + ".MP3";  // GBK bytes

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

}  // namespace
}  // namespace lingchao
