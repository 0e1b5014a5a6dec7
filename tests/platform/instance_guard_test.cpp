#include "platform/instance_guard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::TempFolder;

TEST(InstanceGuard, SecondCopyIsRefusedWhileTheFirstHoldsAndAdmittedAfterRelease) {
    TempFolder dir;
    FileInstanceGuard first(dir / "lingchao.lock");
    FileInstanceGuard second(dir / "lingchao.lock");
    EXPECT_EQ(first.Acquire().outcome, GuardOutcome::Acquired);
    EXPECT_EQ(first.Acquire().outcome, GuardOutcome::Acquired) << "holding it already is no conflict";
    EXPECT_EQ(second.Acquire().outcome, GuardOutcome::HeldByAnother);
    EXPECT_FALSE(second.IsHeld());

    first.Release();
    first.Release();  // harmless twice
    EXPECT_FALSE(first.IsHeld());
    EXPECT_EQ(second.Acquire().outcome, GuardOutcome::Acquired);
    // The guard file is left behind, empty, for the next start.
    second.Release();
    EXPECT_TRUE(std::filesystem::exists(dir / "lingchao.lock"));
    EXPECT_EQ(std::filesystem::file_size(dir / "lingchao.lock"), 0u);
}

TEST(InstanceGuard, ReacquireAfterARefusedShutdownTakesTheGuardBackUnlessAnotherCopyStartedMeanwhile) {
    TempFolder dir;
    FileInstanceGuard running(dir / "g.lock");
    FileInstanceGuard other(dir / "g.lock");
    ASSERT_EQ(running.Acquire().outcome, GuardOutcome::Acquired);
    running.Release();
    EXPECT_EQ(running.Reacquire().outcome, GuardOutcome::Acquired);
    EXPECT_EQ(other.Acquire().outcome, GuardOutcome::HeldByAnother);

    running.Release();
    ASSERT_EQ(other.Acquire().outcome, GuardOutcome::Acquired);
    EXPECT_EQ(running.Reacquire().outcome, GuardOutcome::HeldByAnother);
}

TEST(InstanceGuard, AHolderKilledWithSigkillLeavesTheGuardFree) {
    TempFolder dir;
    const auto path = dir / "lingchao.lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileInstanceGuard held(path);
        const char ok = held.Acquire().outcome == GuardOutcome::Acquired ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(ok, '1');

    FileInstanceGuard next(path);
    EXPECT_EQ(next.Acquire().outcome, GuardOutcome::HeldByAnother);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(next.Acquire().outcome, GuardOutcome::Acquired);
}

// A guard that cannot be opened is not a running copy: it must never read as HeldByAnother. The places fail for
// root too (tests run as root in CI).
class UnusableGuardPlace : public ::testing::TestWithParam<const char*> {};

TEST_P(UnusableGuardPlace, IsUnavailableWithAReason) {
    TempFolder dir;
    std::ofstream(dir / "file") << "x";
    std::filesystem::create_directory(dir / "folder");
    std::filesystem::create_symlink(dir / "file", dir / "link");
    FileInstanceGuard guard(dir.path() / GetParam());
    const GuardResult result = guard.Acquire();
    EXPECT_EQ(result.outcome, GuardOutcome::Unavailable);
    EXPECT_NE(result.reason.find(GetParam()), std::string::npos) << result.reason;
    EXPECT_FALSE(guard.IsHeld());
}

INSTANTIATE_TEST_SUITE_P(Places, UnusableGuardPlace,
                         ::testing::Values("file/lingchao.lock",     // under a regular file
                                           "missing/lingchao.lock",  // folder does not exist
                                           "folder",                 // a folder, not a file
                                           "link"));                 // a planted symbolic link

struct GuardPathRow {
    bool runtimeDir;
    bool home;
    const char* expectedUnder;  // "runtime", "home" or "tmp"
};

class DefaultGuardPathTest : public ::testing::TestWithParam<GuardPathRow> {};

TEST_P(DefaultGuardPathTest, IsPerUserAndInAWritablePlace) {
    TempFolder runtime, home;
    const GuardPathRow row = GetParam();
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const char* oldHome = std::getenv("HOME");
    const std::string savedRuntime = oldRuntime ? oldRuntime : "", savedHome = oldHome ? oldHome : "";
    if (row.runtimeDir)
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    else
        ::setenv("XDG_RUNTIME_DIR", (runtime.path() / "missing").c_str(), 1);
    if (row.home)
        ::setenv("HOME", home.path().c_str(), 1);
    else
        ::unsetenv("HOME");

    const std::filesystem::path path = DefaultGuardPath();
    std::string expected;
    if (std::string(row.expectedUnder) == "runtime")
        expected = (runtime.path() / "lingchao.lock").string();
    else if (std::string(row.expectedUnder) == "home")
        expected = (home.path() / ".cache" / "lingchao" / "lingchao.lock").string();
    else
        expected = "/tmp/lingchao-" + std::to_string(::getuid()) + ".lock";
    EXPECT_EQ(path.string(), expected);

    if (oldRuntime)
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

INSTANTIATE_TEST_SUITE_P(Environments, DefaultGuardPathTest,
                         ::testing::Values(GuardPathRow{true, true, "runtime"}, GuardPathRow{false, true, "home"},
                                           GuardPathRow{false, false, "tmp"}));

}  // namespace
}  // namespace lingchao
