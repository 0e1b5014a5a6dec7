// Whole-file reads and writes meet what a shared or careless folder can hold: FIFOs, devices, folders, files the
// user may not read, files of gigabytes, links planted by another user, a read-only folder and a full disk. None
// may hang the program, eat its memory, or make it write anywhere but where it means to.

#include "base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/hostile_files.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::TempFolder;

const Bytes kVictim{'k', 'e', 'e', 'p'};

struct BadPlace {
    const char* what;
    ReadProblem problem;
};

class ReadingABadPlace : public ::testing::TestWithParam<BadPlace> {
protected:
    // Puts the thing named by the row at dir/default.dll.
    std::filesystem::path Make(const TempFolder& dir) {
        const auto path = dir / "default.dll";
        const std::string what = GetParam().what;
        if (what == "fifo") test::MakeFifo(path);
        if (what == "folder") std::filesystem::create_directory(path);
        if (what == "link to /dev/zero") std::filesystem::create_symlink("/dev/zero", path);
        if (what == "link to /dev/urandom") std::filesystem::create_symlink("/dev/urandom", path);
        if (what == "/dev/null") std::filesystem::create_symlink("/dev/null", path);
        if (what == "mode 000") {
            test::WriteAll(path, {1, 2, 3});
            std::filesystem::permissions(path, std::filesystem::perms::none);
        }
        if (what == "link to nothing") std::filesystem::create_symlink(dir / "gone", path);
        return path;
    }
};

TEST_P(ReadingABadPlace, IsRefusedAtOnceWithItsReason) {
    TempFolder dir;
    const auto path = Make(dir);
    test::PermissionsApply permissions;
    const StoredFile file = ReadStoredFile(path, 1 << 20);
    EXPECT_EQ(file.problem, GetParam().problem) << GetParam().what;
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_FALSE(ReadFileBytes(path));
    EXPECT_FALSE(ReadFileRange(path, 0, 63));
    if (GetParam().problem != ReadProblem::NoPermission) {
        EXPECT_FALSE(FileLength(path));
    }
    // Ensuring it exists neither blocks on it nor replaces it.
    EXPECT_TRUE(EnsureFileExists(path));
    EXPECT_FALSE(std::filesystem::exists(dir / "gone")) << "a dangling link was followed";
}

INSTANTIATE_TEST_SUITE_P(Places, ReadingABadPlace,
                         ::testing::Values(BadPlace{"fifo", ReadProblem::NotRegular},
                                           BadPlace{"folder", ReadProblem::NotRegular},
                                           BadPlace{"link to /dev/zero", ReadProblem::NotRegular},
                                           BadPlace{"link to /dev/urandom", ReadProblem::NotRegular},
                                           BadPlace{"/dev/null", ReadProblem::NotRegular},
                                           BadPlace{"mode 000", ReadProblem::NoPermission},
                                           BadPlace{"link to nothing", ReadProblem::Missing}),
                         [](const auto& row) {
                             std::string name;
                             for (const char c : std::string(row.param.what))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(ReadStoredFile, AHugeFileGivesItsFirstBytesUpToTheCapAndNoMore) {
    TempFolder dir;
    test::MakeSparseFile(dir / "huge", 10ull << 30);  // 10 GB, no disk space
    const StoredFile file = ReadStoredFile(dir / "huge", 1 << 20);
    EXPECT_EQ(file.problem, ReadProblem::TooLarge);
    EXPECT_TRUE(file.usable());
    EXPECT_EQ(file.bytes.size(), 1u << 20);
    EXPECT_LE(file.bytes.capacity(), (1u << 20) + 65536) << "memory is bounded by the cap, not the file";
    EXPECT_FALSE(ReadFileBytes(dir / "huge", 1 << 20)) << "not whole";

    test::WriteAll(dir / "exact", Bytes(100, 7));
    EXPECT_EQ(ReadStoredFile(dir / "exact", 100).problem, ReadProblem::None);
    EXPECT_EQ(ReadStoredFile(dir / "exact", 99).problem, ReadProblem::TooLarge);
}

TEST(ReplaceFileAtomically, APlantedLinkAtTheScratchNameIsNeverWrittenThrough) {
    TempFolder app, elsewhere;
    const auto victim = elsewhere / "victim";
    test::WriteAll(victim, kVictim);
    test::WriteAll(app / "default.dll", {1});
    std::filesystem::create_symlink(victim, ScratchPathFor(app / "default.dll"));
    std::filesystem::create_symlink(victim, app / "copydefault.dll");

    ASSERT_TRUE(ReplaceFileAtomically(app / "default.dll", {2, 2}));
    ASSERT_TRUE(ReplaceFileAtomically(app / "default.dll", {3, 3, 3}, app / "copydefault.dll"));

    EXPECT_EQ(test::ReadAll(victim), kVictim);
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(app / "default.dll")))
        << "the target became a link";
    EXPECT_EQ(test::ReadAll(app / "default.dll"), (Bytes{3, 3, 3}));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ScratchPathFor(app / "default.dll"))));
}

TEST(ReplaceFileAtomically, AReadOnlyFolderFailsWithItsReasonAndKeepsTheOldFile) {
    TempFolder dir;
    test::WriteAll(dir / "default.dll", {1});
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::string failure;
    {
        test::PermissionsApply permissions;
        EXPECT_FALSE(ReplaceFileAtomically(dir / "default.dll", {2}, &failure));
    }
    EXPECT_NE(failure.find("没有写入权限"), std::string::npos) << failure;
    EXPECT_NE(failure.find("default.dll"), std::string::npos) << failure;
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), (Bytes{1}));
}

TEST(ReplaceFileAtomically, AFullDiskFailsWithItsReasonKeepsTheOldFileAndLeavesNoScratch) {
    TempFolder dir;
    test::SmallFilesystem disk(dir.path(), 64);
    if (!disk.Available()) GTEST_SKIP() << "no small filesystem can be mounted here: " << disk.why();
    test::WriteAll(dir / "default.dll", Bytes(4174, 1));
    disk.Fill();
    std::string failure;
    EXPECT_FALSE(ReplaceFileAtomically(dir / "default.dll", Bytes(2 * 4174, 2), &failure));
    EXPECT_NE(failure.find("磁盘已满"), std::string::npos) << failure;
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), Bytes(4174, 1));
    EXPECT_FALSE(std::filesystem::exists(ScratchPathFor(dir / "default.dll")));
}

TEST(MakeEmptyRegularFile, ReplacesAPlantedLinkInsteadOfEmptyingItsTarget) {
    TempFolder app, elsewhere;
    test::WriteAll(elsewhere / "victim", kVictim);
    std::filesystem::create_symlink(elsewhere / "victim", app / "null.dll");
    ASSERT_TRUE(MakeEmptyRegularFile(app / "null.dll"));
    EXPECT_EQ(test::ReadAll(elsewhere / "victim"), kVictim);
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(app / "null.dll")));
    EXPECT_EQ(std::filesystem::file_size(app / "null.dll"), 0u);

    test::WriteAll(app / "null.dll", {1, 2});
    ASSERT_TRUE(MakeEmptyRegularFile(app / "null.dll"));
    EXPECT_EQ(std::filesystem::file_size(app / "null.dll"), 0u);
    test::MakeFifo(app / "fifo");
    EXPECT_FALSE(MakeEmptyRegularFile(app / "fifo")) << "and it did not wait for a reader";
}

TEST(OpenRegularForAppend, RefusesALinkAndWhatIsNotARegularFileWithoutWaiting) {
    TempFolder app, elsewhere;
    test::WriteAll(elsewhere / "victim", kVictim);
    std::filesystem::create_symlink(elsewhere / "victim", app / "log");
    EXPECT_EQ(OpenRegularForAppend(app / "log"), -1);
    EXPECT_EQ(errno, ELOOP);
    test::MakeFifo(app / "fifo");
    EXPECT_EQ(OpenRegularForAppend(app / "fifo"), -1);
    std::filesystem::create_directory(app / "folder");
    EXPECT_EQ(OpenRegularForAppend(app / "folder"), -1);
    EXPECT_EQ(test::ReadAll(elsewhere / "victim"), kVictim);

    std::uint64_t size = 99;
    const int fd = OpenRegularForAppend(app / "new", &size);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, 0u);
    ::close(fd);
}

}  // namespace
}  // namespace lingchao
