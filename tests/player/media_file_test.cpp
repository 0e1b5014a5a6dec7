// A bell's music path is checked before anything opens it for playing: only a regular file goes on, each other
// thing gets its own reason (not "no such file" for all), and a folder that stops answering costs a bounded wait,
// once, instead of the rest of the day.

#include "player/media_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support/hostile_files.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using namespace std::chrono_literals;

struct PathCase {
    const char* what;
    MediaFileProblem problem;
    const char* reason;  // on the clock
};

class MediaFileCheck : public ::testing::TestWithParam<PathCase> {
protected:
    std::string Make() {
        const std::string what = GetParam().what;
        const auto music = dir / "music";
        std::filesystem::create_directories(music);
        if (what == "regular file") test::WriteAll(music / "a.wav", {1, 2, 3});
        if (what == "fifo") test::MakeFifo(music / "a.wav");
        if (what == "folder") std::filesystem::create_directory(music / "a.wav");
        if (what == "link to /dev/zero") std::filesystem::create_symlink("/dev/zero", music / "a.wav");
        if (what == "empty file") test::WriteAll(music / "a.wav", {});
        if (what == "mode 000") {
            test::WriteAll(music / "a.wav", {1});
            std::filesystem::permissions(music / "a.wav", std::filesystem::perms::none);
        }
        if (what == "http uri") return "http://example.invalid/a.wav";
        if (what == "file uri") return "file://" + (music / "a.wav").string();
        if (what == "no path") return "";
        if (what == "windows path") {
            // Written on Windows: found once its separators are turned.
            std::filesystem::create_directories(dir / "D:" / "铃声");
            test::WriteAll(dir / "D:" / "铃声" / "a.wav", {1, 2});
            return (dir / "D:\\铃声\\a.wav").string();
        }
        return (music / "a.wav").string();
    }
    test::TempFolder dir;
};

TEST_P(MediaFileCheck, GivesItsOwnReason) {
    const std::string path = Make();
    test::PermissionsApply permissions;
    const MediaFile file = CheckMediaFile(path);
    EXPECT_EQ(file.problem, GetParam().problem) << GetParam().what;
    EXPECT_EQ(MediaProblemText(file.problem), GetParam().reason) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Paths, MediaFileCheck,
                         ::testing::Values(PathCase{"regular file", MediaFileProblem::None, ""},
                                           PathCase{"windows path", MediaFileProblem::None, ""},
                                           PathCase{"fifo", MediaFileProblem::NotRegular, "不是普通文件"},
                                           PathCase{"folder", MediaFileProblem::NotRegular, "不是普通文件"},
                                           PathCase{"link to /dev/zero", MediaFileProblem::NotRegular, "不是普通文件"},
                                           PathCase{"empty file", MediaFileProblem::Empty, "文件是空的"},
                                           PathCase{"mode 000", MediaFileProblem::NoPermission, "没有读取权限"},
                                           PathCase{"missing", MediaFileProblem::Missing, "文件不存在"},
                                           PathCase{"http uri", MediaFileProblem::NotLocal, "不是本机文件"},
                                           PathCase{"file uri", MediaFileProblem::NotLocal, "不是本机文件"},
                                           PathCase{"no path", MediaFileProblem::NoPath, "没有设置音乐"}),
                         [](const auto& row) {
                             std::string name;
                             for (const char c : std::string(row.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(MediaFileCheckWithin, AFolderThatDoesNotAnswerCostsOneBoundedWaitThenAnswersAtOnceUntilItIsBack) {
    test::TempFolder dir;
    const auto share = dir / "share";
    std::filesystem::create_directories(share);
    test::WriteAll(share / "bell.wav", {1, 2, 3});
    test::MakeFifo(share / "stuck");
    // A blocking open of a FIFO without a writer stands for a network share that stopped answering: the
    // thread sits in the kernel until someone opens the other end.
    const MediaFile first = CheckWithin(
        share.string(),
        [path = share / "stuck"] {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
            return MediaFile{};
        },
        200ms);
    EXPECT_EQ(first.problem, MediaFileProblem::NotAnswering);
    EXPECT_EQ(MediaProblemText(first.problem), "无法读取");
    // Were this waited for, the file (which is fine) would be found: NotAnswering shows it was not.
    EXPECT_EQ(CheckMediaFile((share / "bell.wav").string(), {}, std::chrono::minutes(10)).problem,
              MediaFileProblem::NotAnswering);
    EXPECT_EQ(CheckMediaFile((dir / "elsewhere.wav").string()).problem, MediaFileProblem::Missing)
        << "other folders are not held up";
    // A list is checked in one run up to its first good entry; an entry in the stuck folder is not waited for.
    test::WriteAll(dir / "ok.wav", {1});
    std::vector<std::string> list(1000, (dir / "gone.wav").string());
    list.insert(list.end(), {(share / "bell.wav").string(), (dir / "ok.wav").string(), (dir / "ok.wav").string()});
    const std::vector<MediaFile> checked = CheckMediaFilesUntilGood(list, 0, list.size(), {}, std::chrono::minutes(10));
    ASSERT_EQ(checked.size(), 1002U);
    EXPECT_EQ(checked[999].problem, MediaFileProblem::Missing);
    EXPECT_EQ(checked[1000].problem, MediaFileProblem::NotAnswering);
    EXPECT_EQ(checked[1001].problem, MediaFileProblem::None);
    EXPECT_EQ(checked[1001].path, (dir / "ok.wav").string());
    EXPECT_EQ(CheckMediaFilesUntilGood(list, 990, 1000).size(), 10U);

    // The share answers again: the stuck check ends, and the folder is checked as usual.
    const int writer = ::open((share / "stuck").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    MediaFile again;
    for (int i = 0; i < 600; ++i) {
        again = CheckMediaFile((share / "bell.wav").string());
        if (again.problem != MediaFileProblem::NotAnswering) break;
        std::this_thread::sleep_for(50ms);
    }
    ::close(writer);
    EXPECT_EQ(again.problem, MediaFileProblem::None);
    EXPECT_EQ(again.size, 3u);
}

}  // namespace
}  // namespace lingchao
