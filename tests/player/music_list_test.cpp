#include "player/music_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "music/media_path.h"
#include "player/player_commands.h"
#include "support/fakes.h"
#include "support/hostile_files.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::FakePlayer;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

std::vector<std::uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(MusicListFile, RowsAreWrittenAsGbkLinesEndedByCrLfAndReadBackInOrder) {
    TempFolder folder;
    const auto path = folder / "a.m3u";
    ASSERT_TRUE(WriteMusicList(path, {"a", "b", "c"}));
    EXPECT_EQ(ReadAll(path), BytesOf("a\r\nb\r\nc\r\n"));
    EXPECT_EQ(ReadMusicList(path), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(MusicListFile, ChineseNamesAreStoredInGbk) {
    TempFolder folder;
    const auto path = folder / "铃声.m3u";
    ASSERT_TRUE(WriteMusicList(path, {"D:\\铃声\\上课.mp3"}));
    // 铃 = C1 E5, 声 = C9 F9, 上 = C9 CF, 课 = BF CE in GBK.
    EXPECT_EQ(ReadAll(path), BytesOf("D:\\\xC1\xE5\xC9\xF9\\\xC9\xCF\xBF\xCE.mp3\r\n"));
    EXPECT_EQ(ReadMusicList(path), (std::vector<std::string>{"D:\\铃声\\上课.mp3"}));
}

TEST(MusicListFile, SavingReplacesTheWholeFile) {
    TempFolder folder;
    const auto path = folder / "a.m3u";
    ASSERT_TRUE(WriteMusicList(path, {"one", "two", "three"}));
    ASSERT_TRUE(WriteMusicList(path, {"x"}));
    EXPECT_EQ(ReadAll(path), BytesOf("x\r\n"));
}

TEST(MusicListFile, AnEntryHoldingALineEndStaysOneEntry) {
    EXPECT_EQ(EncodeMusicList({"a\r\nb", "c"}), BytesOf("a  b\r\nc\r\n"));
}

TEST(MusicListFile, AFileThatCannotBeReadGivesNothing) {
    TempFolder folder;
    EXPECT_FALSE(ReadMusicList(folder / "missing.m3u"));
    std::filesystem::create_directory(folder / "dir.m3u");
    EXPECT_FALSE(ReadMusicList(folder / "dir.m3u"));
}

struct ParseCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> entries;
};

class MusicListParse : public ::testing::TestWithParam<ParseCase> {};

TEST(MusicListFile, ANonListIsRefusedWithoutWaitingAndAHugeListIsCutToItsBound) {
    test::TempFolder dir;
    test::MakeFifo(dir / "fifo.m3u");
    std::filesystem::create_symlink("/dev/zero", dir / "zero.m3u");
    std::filesystem::create_symlink("/dev/urandom", dir / "random.m3u");
    for (const char* name : {"fifo.m3u", "zero.m3u", "random.m3u"}) {
        ReadProblem problem = ReadProblem::None;
        EXPECT_FALSE(ReadMusicList(dir / name, &problem)) << name;
        EXPECT_EQ(problem, ReadProblem::NotRegular) << name;
    }
    std::string text;
    for (int i = 0; i < 1000000; ++i) text += "a" + std::to_string(i) + "\r\n";
    test::WriteAll(dir / "long.m3u", std::vector<std::uint8_t>(text.begin(), text.end()));
    ReadProblem problem = ReadProblem::None;
    const auto entries = ReadMusicList(dir / "long.m3u", &problem);
    ASSERT_TRUE(entries);
    EXPECT_EQ(problem, ReadProblem::TooLarge);
    ASSERT_EQ(entries->size(), kMaxMusicListEntries);
    EXPECT_EQ(entries->front(), "a0");
    EXPECT_EQ(entries->back(), "a9999");
}

TEST_P(MusicListParse, EveryLineIsAnEntry) { EXPECT_EQ(ParseMusicList(GetParam().bytes), GetParam().entries); }

INSTANTIATE_TEST_SUITE_P(Lines, MusicListParse,
                         ::testing::Values(ParseCase{"DirectivesAreKept",
                                                     "#EXTM3U\r\n#EXTINF:123,Song\r\nC:\\a.mp3\r\n",
                                                     {"#EXTM3U", "#EXTINF:123,Song", "C:\\a.mp3"}},
                                           ParseCase{"BlankLineIsAnEmptyEntry", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                                           ParseCase{"LoneCrEndsALine", "a\rb\rc", {"a", "b", "c"}},
                                           ParseCase{"LoneLfEndsALine", "a\nb\r\nc\n", {"a", "b", "c"}},
                                           ParseCase{"CrThenCrLfIsABlankLine", "a\r\r\nb", {"a", "", "b"}},
                                           ParseCase{"LastLineNeedsNoEnd", "a\r\nb", {"a", "b"}},
                                           ParseCase{"EmptyFileHasNoEntries", "", {}},
                                           ParseCase{"OnlyALineEndIsOneEmptyEntry", "\r\n", {""}},
                                           ParseCase{"InvalidGbkBecomesQuestionMark", "a\x81\r\n", {"a?"}}),
                         [](const ::testing::TestParamInfo<ParseCase>& row) { return std::string(row.param.name); });

TEST(MusicListNames, AreTheM3uFilesOfTheFolderInByteOrder) {
    TempFolder folder;
    for (const char* file : {"b.m3u", "A.m3u", "课间.m3u", "a.m3u", "null.dll", "x.M3U", ".m3u", "notes.txt"}) {
        WriteAll(folder / file, {});
    }
    std::filesystem::create_directory(folder / "dir.m3u");
    EXPECT_EQ(MusicListNames(folder.path()), (std::vector<std::string>{"A", "a", "b", "课间"}));
    EXPECT_TRUE(MusicListNames(folder / "missing").empty());
}

TEST(MusicListNames, ListPathIsTheFolderTheNameAndM3u) {
    EXPECT_EQ(MusicListPath("/app/music", "早操"), "/app/music/早操.m3u");
}

struct NameCase {
    const char* name;
    bool safe;
};

class ListNameSafety : public ::testing::TestWithParam<NameCase> {};

TEST_P(ListNameSafety, OnlyNamesInsideTheMusicFolderAreSafe) {
    EXPECT_EQ(IsSafeMusicListName(GetParam().name), GetParam().safe) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, ListNameSafety,
                         ::testing::Values(NameCase{"早操", true}, NameCase{"a b.c", true}, NameCase{"", false},
                                           NameCase{".", false}, NameCase{"..", false}, NameCase{"../x", false},
                                           NameCase{"a..b", false}, NameCase{"sub/x", false}, NameCase{"sub\\x", false},
                                           NameCase{"/etc/x", false}));

TEST(MusicListEntries, CommentsAndBlankLinesAreNotPlayedAndBlanksAroundAnEntryGo) {
    EXPECT_EQ(PlayableEntries({"#EXTM3U", "#EXTINF:1,上课", "  a.wav ", "", " \t", "  # not played", "\tb#1.mp3"}),
              (std::vector<std::string>{"a.wav", "b#1.mp3"}));
}

TEST(MusicListInUse, OnlyTheExactPathCounts) {
    FakePlayer player;
    player.fileName = "/app/music/A.m3u";
    EXPECT_TRUE(IsMusicListInUse(player, "/app/music/A.m3u"));
    EXPECT_FALSE(IsMusicListInUse(player, "/app/music/a.m3u"));
    EXPECT_FALSE(IsMusicListInUse(player, "/app/music//A.m3u"));
}

TEST(PlayerCommands, StopLoadsTheNullMediaFileAfterStopping) {
    FakePlayer player;
    player.SetFileName("/app/music/a.mp3");
    StopSequence(player, NullMediaPath("/app"));
    EXPECT_EQ(player.calls,
              (std::vector<std::string>{"FileName=/app/music/a.mp3", "Stop", "FileName=/app/music/null.dll"}));
}

TEST(PlayerCommands, StopStillReleasesWhenThePlayerFailsToStop) {
    class ThrowingStop final : public MediaPlayer {
    public:
        void SetFileName(const std::string& path) override { name = path; }
        std::string FileName() const override { return name; }
        void Play() override {}
        void Pause() override {}
        void Stop() override { throw std::runtime_error("stop refused"); }
        void SetEndOfStreamHandler(std::function<void()>) override {}
        std::string name = "x.mp3";
    } player;
    EXPECT_NO_THROW(StopSequence(player, "/app/music/null.dll"));
    EXPECT_EQ(player.name, "/app/music/null.dll");
}

TEST(PlayerCommands, PlayAndPauseOnlyForwardAndEndOfStreamReleases) {
    FakePlayer player;
    PlayCommand(player);
    PauseCommand(player);
    ConnectEndOfStream(player, NullMediaPath("/app"));
    ASSERT_TRUE(player.endOfStream);
    player.endOfStream();
    EXPECT_EQ(player.calls, (std::vector<std::string>{"Play", "Pause", "FileName=/app/music/null.dll"}));
}

TEST(MediaPath, UrisAreNeverLocalFiles) {
    for (const char* text : {"http://x/a.mp3", "file:///tmp/a.wav", "fd://0", "appsrc:x"}) {
        EXPECT_TRUE(HasUriScheme(text)) << text;
        EXPECT_TRUE(ResolveMediaPath(text).path.empty()) << text;
    }
    for (const char* text : {"C:\\a.mp3", "/tmp/a:b", "a.mp3", ""}) EXPECT_FALSE(HasUriScheme(text)) << text;
}

TEST(MediaPath, WindowsSeparatorsAreTriedAsSlashesOnlyWhenTheTextNamesNothing) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "铃声");
    WriteAll(folder / "铃声" / "上课.mp3", {1});
    WriteAll(folder / "odd\\name.mp3", {1});

    const ResolvedMediaPath mended = ResolveMediaPath("铃声\\上课.mp3", folder.path());
    EXPECT_EQ(mended.path, (folder / "铃声" / "上课.mp3").string());
    EXPECT_TRUE(mended.mended);

    const ResolvedMediaPath literal = ResolveMediaPath("odd\\name.mp3", folder.path());
    EXPECT_EQ(literal.path, (folder / "odd\\name.mp3").string());
    EXPECT_FALSE(literal.mended);

    EXPECT_EQ(ResolveMediaPath("D:\\铃声\\上课.mp3", folder.path()).problem, "no such file");
}

TEST(MediaPath, FoldersAndEmptyTextNameNoFile) {
    TempFolder folder;
    EXPECT_EQ(ResolveMediaPath(folder.path().string()).problem, "is a folder");
    EXPECT_EQ(ResolveMediaPath("").problem, "empty path");
    EXPECT_EQ(ResolveMediaPath((folder / "none.wav").string()).problem, "no such file");
}

}  // namespace
}  // namespace lingchao
