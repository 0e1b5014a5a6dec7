#include "player/gst_media_probe.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "music/music_names.h"
#include "player/music_list.h"
#include "scheduler/self_check.h"
#include "store/gbk.h"
#include "support/fixture_bytes.h"
#include "support/hostile_files.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

class MediaProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v sox >/dev/null") != 0) GTEST_SKIP() << "sox is needed to make test media";
        tone = (dir / "铃声.wav").string();
        ASSERT_EQ(std::system(("sox -n -r 22050 -c 1 '" + tone + "' synth 0.3 sine 880").c_str()), 0);
        test::WriteAll(dir / "fake.mp3", std::vector<std::uint8_t>(4096, 0x5A));
    }
    std::vector<std::string> Reasons(const std::string& path) {
        std::vector<std::string> out;
        for (const auto& p : probe.Check(path)) out.push_back(p.reason);
        return out;
    }

    test::TempFolder dir;
    std::string tone;
    GstMediaProbe probe;
};

TEST_F(MediaProbeTest, AFileThatDecodesHasNoProblem) { EXPECT_TRUE(probe.Check(tone).empty()); }

TEST_F(MediaProbeTest, MissingEmptyAndUndecodableFilesAreNamed) {
    test::WriteAll(dir / "empty.wav", {});
    EXPECT_EQ(Reasons((dir / "none.wav").string()), (std::vector<std::string>{"文件不存在"}));
    EXPECT_EQ(Reasons((dir / "empty.wav").string()), (std::vector<std::string>{"文件是空的"}));
    EXPECT_EQ(Reasons((dir / "fake.mp3").string()), (std::vector<std::string>{"无法解码"}));
}

TEST_F(MediaProbeTest, WhatIsNotARegularLocalFileIsNamedForWhatItIs) {
    test::MakeFifo(dir / "fifo.wav");
    std::filesystem::create_symlink("/dev/zero", dir / "zero.wav");
    std::filesystem::create_directory(dir / "folder.wav");
    test::MakeFifo(dir / "fifo.m3u");
    const std::vector<std::string> notRegular{"不是普通文件"};
    EXPECT_EQ(Reasons((dir / "fifo.wav").string()), notRegular);
    EXPECT_EQ(Reasons((dir / "zero.wav").string()), notRegular);
    EXPECT_EQ(Reasons((dir / "folder.wav").string()), notRegular);
    EXPECT_EQ(Reasons((dir / "fifo.m3u").string()), notRegular);
    EXPECT_EQ(Reasons("http://example.invalid/bell.mp3"), (std::vector<std::string>{"不是本机文件"}));
    EXPECT_EQ(Reasons("file://" + tone), (std::vector<std::string>{"不是本机文件"}));
}

TEST_F(MediaProbeTest, AHugeListNamesItsFirstBadEntriesAndCountsTheRest) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "gone" + std::to_string(i) + ".wav\r\n";
    test::WriteAll(dir / "huge.m3u", std::vector<std::uint8_t>(text.begin(), text.end()));
    const auto problems = probe.Check((dir / "huge.m3u").string());
    ASSERT_EQ(problems.size(), 12u);
    EXPECT_EQ(problems[0].reason, "音乐列表过长：只播放前 10000 条");
    EXPECT_EQ(problems[1].path, "gone0.wav");
    EXPECT_EQ(problems[1].reason, "文件不存在");
    EXPECT_EQ(problems[11].reason, "另有 9990 条无法播放");
}

TEST_F(MediaProbeTest, AMusicListNamesEachBadEntry) {
    const std::string list = (dir / "课间.m3u").string();
    ASSERT_TRUE(WriteMusicList(list, {"#EXTM3U", "铃声.wav", "", "gone.wav", "fake.mp3"}));
    const auto problems = probe.Check(list);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].path, "gone.wav");
    EXPECT_EQ(problems[0].reason, "文件不存在");
    EXPECT_EQ(problems[1].path, "fake.mp3");
    ASSERT_TRUE(WriteMusicList(list, {"#EXTM3U"}));
    EXPECT_EQ(Reasons(list), (std::vector<std::string>{"音乐列表为空"}));
}

TEST_F(MediaProbeTest, AProblemClearsWhenTheFileIsMended) {
    const std::string path = (dir / "later.wav").string();
    EXPECT_EQ(Reasons(path).size(), 1u);
    ASSERT_EQ(std::system(("cp '" + tone + "' '" + path + "'").c_str()), 0);
    EXPECT_TRUE(probe.Check(path).empty());
}

// A timetable brought from a Windows PC: its bells play from the music folder, found by name. The self-check finds
// no fault, and its note says which file each plays, also when several files share the name.
TEST_F(MediaProbeTest, ATimetableFromAnotherComputerChecksClearWithNotes) {
    const auto music = dir.path() / "music";
    std::filesystem::create_directories(music / "铃声");
    std::filesystem::create_directories(music / "备份");
    const std::string mp3 = (music / "铃声" / "上课.mp3").string();
    ASSERT_EQ(std::system(("sox -n -r 22050 -c 1 '" + mp3 + "' synth 0.3 sine 880").c_str()), 0);
    std::filesystem::copy_file(tone, music / "眼保健操.WAV");
    std::filesystem::copy_file(tone, music / "备份" / "眼保健操.wav");
    ASSERT_TRUE(WriteMusicList(music / "课间.m3u", {"E:\\旧\\眼保健操.wav"}));
    const std::string g = test::kGbkLingSheng;
    test::WriteAll(
        dir / "default.dll",
        test::FixtureGroup(
            {{1, test::kGbkShangKe, "08:00", "Everyday", "START", {"D:\\" + g + "\\" + test::kGbkShangKe + ".MP3"}, {}},
             {2, "B", "10:00", "Everyday", "START", {Utf8ToGbk("C:\\Documents and Settings\\课间.m3u")}, {}}}));
    InstallMusicNames(MusicNames::Scan(music));
    const auto problems = CheckTodaysMusic(dir / "default.dll", 1, probe);
    InstallMusicNames(nullptr);

    EXPECT_EQ(ProblemsText(problems), "");
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].foundAs, mp3);
    EXPECT_EQ(problems[1].foundAs, (music / "课间.m3u").string());
    EXPECT_EQ(problems[2].foundAs, (music / "眼保健操.WAV").string());
    EXPECT_EQ(problems[2].sameNames, 2);
    const std::string notes = FoundByNameText(problems);
    EXPECT_NE(notes.find("任务1 上课：D:\\铃声\\上课.MP3 → " + mp3), std::string::npos) << notes;
    EXPECT_NE(notes.find("E:\\旧\\眼保健操.wav → " + (music / "眼保健操.WAV").string() + "（同名文件有2个"),
              std::string::npos)
        << notes;
}

}  // namespace
}  // namespace lingchao

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
