// Whole-file writes must survive a power cut, not only a crash: the new content is synced before it replaces the
// old, and the folder is synced after, or the rename itself may be lost. A write that fails leaves nothing behind.
// Seen from outside the program (a recorder of its system calls preloaded into a child, a file size limit), so
// the tests hold whatever the scratch file is called.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

struct Call {
    std::string kind;  // open, fsync, rename, unlink
    long result = 0;
    std::string id;  // device:inode of the file (for a rename: of what is at its destination afterwards)
    std::string path;
};

std::vector<Call> ReadCalls(const std::filesystem::path& log) {
    std::vector<Call> calls;
    const auto bytes = test::ReadAll(log);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Call c;
        fields >> c.kind >> c.result;
        if (c.kind != "unlink") fields >> c.id;
        std::getline(fields >> std::ws, c.path);
        calls.push_back(c);
    }
    return calls;
}

std::string Identity(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "missing";
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

// Runs the driver with `args`, extra environment and a limit on the size of the files it writes; its exit code.
int RunDriver(const std::vector<std::string>& args, const std::vector<std::string>& env,
              rlim_t fileSizeLimit = RLIM_INFINITY) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        if (fileSizeLimit != RLIM_INFINITY) {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead of killing
        }
        std::vector<char*> argv{const_cast<char*>(LINGCHAO_FILE_UTIL_DRIVER)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> Recorded(const std::filesystem::path& log) {
    // A sanitizer runtime wants to be loaded first; the recorder, loaded before it, does nothing it would mind.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" LINGCHAO_SYSCALL_RECORDER, "LINGCHAO_SYSCALL_LOG=" + log.string(),
            "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"};
}

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

TEST(Durability, TheNewContentIsSyncedBeforeTheRenameAndTheFolderAfterIt) {
    test::TempFolder dir, logs;
    const auto target = dir / "default.dll";
    test::WriteAll(target, std::vector<std::uint8_t>(100, 'o'));
    ASSERT_EQ(RunDriver({"replace", target.string(), "10000"}, Recorded(logs / "calls")), 0);
    EXPECT_EQ(test::ReadAll(target), std::vector<std::uint8_t>(10000, 'n'));

    const auto calls = ReadCalls(logs / "calls");
    ASSERT_FALSE(calls.empty()) << "the recorder saw nothing";
    const std::string file = Identity(target), folder = Identity(dir.path());
    std::size_t renamedAt = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].kind == "rename" && calls[i].result == 0 && calls[i].id == file) renamedAt = i;
    ASSERT_LT(renamedAt, calls.size()) << "no rename onto the target";
    bool fileSynced = false, folderSynced = false;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind != "fsync" || calls[i].result != 0) continue;
        if (i < renamedAt && calls[i].id == file) fileSynced = true;
        if (i > renamedAt && calls[i].id == folder) folderSynced = true;
    }
    EXPECT_TRUE(fileSynced) << "the new content was not synced before it replaced the old";
    EXPECT_TRUE(folderSynced) << "the folder was not synced after the rename";
}

TEST(Durability, AWriteThatFailsLeavesTheOldFileAndNothingElse) {
    test::TempFolder dir;
    const auto target = dir / "default.dll";
    const std::vector<std::uint8_t> old(100, 'o');
    test::WriteAll(target, old);
    // The disk is "full" after 8 KiB.
    EXPECT_EQ(RunDriver({"replace", target.string(), "100000"}, {}, 8192), 1) << "the failure was not reported";
    EXPECT_EQ(test::ReadAll(target), old);
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"default.dll"}) << "the scratch file was left behind";
}

struct RangeRow {
    std::uint64_t offset;
    std::size_t length;
    std::string expected;
    friend void PrintTo(const RangeRow& row, std::ostream* out) {
        *out << "offset " << row.offset << ", length " << row.length;
    }
};

class ReadRange : public ::testing::TestWithParam<RangeRow> {};

TEST_P(ReadRange, StopsAtTheEndOfTheFile) {
    test::TempFolder dir;
    test::WriteAll(dir / "f", {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    const auto bytes = ReadFileRange(dir / "f", GetParam().offset, GetParam().length);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ReadRange,
                         ::testing::Values(RangeRow{0, 10, "0123456789"}, RangeRow{2, 3, "234"},
                                           RangeRow{4, 100, "456789"}, RangeRow{10, 5, ""}, RangeRow{20, 5, ""}));

}  // namespace
}  // namespace lingchao
