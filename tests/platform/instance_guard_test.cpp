#include "platform/instance_guard.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>

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

// Where the guard lives: never where another user could make it, hold it or replace it.
struct GuardPathRow {
    const char* what;
    bool runtimeDir;
    std::filesystem::perms runtimeMode;
    bool home;
    const char* expectedUnder;  // "runtime", "home" or "tmp"
};

class GuardPathInTest : public ::testing::TestWithParam<GuardPathRow> {};

TEST_P(GuardPathInTest, IsInAFolderOfTheUsersOwn) {
    TempFolder runtime, home, tmp;
    const GuardPathRow row = GetParam();
    std::filesystem::permissions(runtime.path(), row.runtimeMode);
    GuardPlaces places;
    places.runtimeDir = row.runtimeDir ? runtime.path().string() : "";
    places.home = row.home ? home.path().string() : "";
    places.tmp = tmp.path();

    const std::filesystem::path path = GuardPathIn(places);
    std::filesystem::path expected;
    if (std::string(row.expectedUnder) == "runtime") expected = runtime / "lingchao.lock";
    if (std::string(row.expectedUnder) == "home") expected = home.path() / ".cache" / "lingchao" / "lingchao.lock";
    if (std::string(row.expectedUnder) == "tmp")
        expected = tmp / ("lingchao-" + std::to_string(::geteuid())) / "lingchao.lock";
    EXPECT_EQ(path, expected) << row.what;
    if (std::string(row.expectedUnder) != "runtime") {
        EXPECT_EQ(std::filesystem::status(path.parent_path()).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_all)
            << row.what;
    }
    FileInstanceGuard guard(path);
    EXPECT_EQ(guard.Acquire().outcome, GuardOutcome::Acquired) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Environments, GuardPathInTest,
    ::testing::Values(GuardPathRow{"runtime dir", true, std::filesystem::perms::owner_all, true, "runtime"},
                      GuardPathRow{"runtime dir open to all", true, std::filesystem::perms::all, true, "home"},
                      GuardPathRow{"no runtime dir", false, std::filesystem::perms::owner_all, true, "home"},
                      GuardPathRow{"no runtime dir, no home", false, std::filesystem::perms::owner_all, false, "tmp"}));

// Another user got to the shared fallback first. Root gives the folder away to stand for the other user (tests
// run as root in CI); without root that one case cannot be made.
TEST(GuardPathIn, AFallbackFolderSomeoneElseMadeIsNeverUsedAndSaysWhy) {
    TempFolder tmp;
    const auto folder = tmp / ("lingchao-" + std::to_string(::geteuid()));
    for (const char* attack : {"owned by another user", "open to all", "link to another folder", "a file"}) {
        std::filesystem::remove_all(folder);
        TempFolder theirs;
        const std::string what = attack;
        if (what == "owned by another user") {
            std::filesystem::create_directory(folder);
            if (::chown(folder.c_str(), 65534, 65534) != 0) continue;  // not root: no folder can be given away
        }
        if (what == "open to all") {
            std::filesystem::create_directory(folder);
            std::filesystem::permissions(folder, std::filesystem::perms::all);
        }
        if (what == "link to another folder") std::filesystem::create_directory_symlink(theirs.path(), folder);
        if (what == "a file") test::WriteAll(folder, {});
        GuardPlaces places;
        places.tmp = tmp.path();
        FileInstanceGuard guard(GuardPathIn(places));
        const GuardResult result = guard.Acquire();
        EXPECT_EQ(result.outcome, GuardOutcome::Unavailable) << what;
        EXPECT_NE(result.reason.find(folder.string()), std::string::npos) << what << ": " << result.reason;
        EXPECT_TRUE(std::filesystem::is_empty(theirs.path())) << what << ": wrote into another user's folder";
    }
}

TEST(InstanceGuard, AGuardFileThatIsAFifoIsUnavailableWithoutWaiting) {
    TempFolder dir;
    ASSERT_EQ(::mkfifo((dir / "lingchao.lock").c_str(), 0600), 0);
    FileInstanceGuard guard(dir / "lingchao.lock");
    EXPECT_EQ(guard.Acquire().outcome, GuardOutcome::Unavailable);
}

// Copies of one application folder started with different runtime folders (another session, another HOME).

std::string Said(const GuardResult& result) {
    switch (result.outcome) {
        case GuardOutcome::Acquired:
            return "Acquired";
        case GuardOutcome::HeldByAnother:
            return "HeldByAnother";
        case GuardOutcome::Unavailable:
            break;
    }
    return "Unavailable: " + result.reason;
}

TEST(AppFolderGuard, OneCopyPerApplicationFolderWhateverItsRuntimeFolder) {
    TempFolder app, otherApp, run1, run2;
    const mode_t umask = ::umask(077);  // the shared file is readable by every user's copy all the same
    auto first = MakeInstanceGuard(run1 / "lingchao.lock", app.path());
    ASSERT_EQ(Said(first->Acquire()), "Acquired");
    ::umask(umask);
    EXPECT_EQ(std::filesystem::status(app / "lingchao.lock").permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));

    auto second = MakeInstanceGuard(run2 / "lingchao.lock", app.path());
    EXPECT_EQ(Said(second->Acquire()), "HeldByAnother");
    EXPECT_FALSE(second->IsHeld());
    // It kept nothing: the same user's copy on another folder starts.
    auto elsewhere = MakeInstanceGuard(run2 / "lingchao.lock", otherApp.path());
    EXPECT_EQ(Said(elsewhere->Acquire()), "Acquired");
    elsewhere->Release();

    first->Release();
    EXPECT_FALSE(first->IsHeld());
    EXPECT_EQ(Said(second->Acquire()), "Acquired");
    EXPECT_EQ(Said(first->Reacquire()), "HeldByAnother") << "another copy started while this one had let go";
    EXPECT_FALSE(first->IsHeld());
    second->Release();
    EXPECT_EQ(Said(first->Reacquire()), "Acquired");

    // A runtime folder that is the application folder: one file, which this copy must not find held by itself.
    auto same = MakeInstanceGuard(otherApp / "lingchao.lock", otherApp.path());
    EXPECT_EQ(Said(same->Acquire()), "Acquired");
}

// Runs `attempt` in a child process standing for another user's copy: as nobody when this is root (root may write
// any folder), else as this user, who is kept out by the modes. Returns what the attempt said.
std::string AsAnotherUser(const std::filesystem::path& runtime, const std::function<std::string()>& attempt) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && ::chown(runtime.c_str(), kNobody, kNobody) != 0) return "cannot chown";
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(1);
        }
        const std::string said = attempt();
        (void)!::write(out[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return said;
}

TEST(AppFolderGuard, AFolderThisCopyCannotWriteGuardsThroughAnExistingFileElseRunsOnTheUsersGuardAlone) {
    TempFolder app, run1, run2;
    const auto lock = app / "lingchao.lock";
    const auto attempt = [&] {
        auto guard = MakeInstanceGuard(run2 / "lingchao.lock", app.path());
        const std::string said = Said(guard->Acquire());
        FileInstanceGuard sameUser(run2 / "lingchao.lock");
        return said + (guard->IsHeld() ? " | held | " : " | free | ") + Said(sameUser.Acquire());
    };

    // Nothing to lock, nothing can be made: a reason, not a refusal; this user's copies are still kept to one.
    std::filesystem::permissions(app.path(), std::filesystem::perms(0555));
    const std::string alone = AsAnotherUser(run2.path(), attempt);
    EXPECT_EQ(alone.rfind("Unavailable: ", 0), 0u) << alone;
    EXPECT_NE(alone.find(lock.string()), std::string::npos) << alone;
    EXPECT_NE(alone.find(" | held | HeldByAnother"), std::string::npos) << alone;

    // The file a copy that could write made earlier: locked through a read-only descriptor.
    std::filesystem::permissions(app.path(), std::filesystem::perms(0755));
    auto writer = MakeInstanceGuard(run1 / "lingchao.lock", app.path());
    ASSERT_EQ(Said(writer->Acquire()), "Acquired");
    std::filesystem::permissions(lock, std::filesystem::perms(0444));
    std::filesystem::permissions(app.path(), std::filesystem::perms(0555));
    EXPECT_EQ(AsAnotherUser(run2.path(), attempt), "HeldByAnother | free | Acquired");
    writer->Release();
    EXPECT_EQ(AsAnotherUser(run2.path(), attempt), "Acquired | held | HeldByAnother");
}

TEST(AppFolderGuard, ALockFileThatCannotBeUsedIsUnavailableWithItsPathWhileTheUsersGuardHolds) {
    for (const std::string what : {"link", "fifo", "folder", "missing application folder"}) {
        SCOPED_TRACE(what);
        TempFolder root, run;
        std::filesystem::path app = root.path();
        if (what == "link") std::filesystem::create_symlink(run / "elsewhere", app / "lingchao.lock");
        if (what == "fifo") {
            ASSERT_EQ(::mkfifo((app / "lingchao.lock").c_str(), 0644), 0);
        }
        if (what == "folder") std::filesystem::create_directory(app / "lingchao.lock");
        if (what == "missing application folder") app /= "missing";
        auto guard = MakeInstanceGuard(run / "lingchao.lock", app);
        const GuardResult result = guard->Acquire();
        EXPECT_EQ(result.outcome, GuardOutcome::Unavailable);
        EXPECT_NE(result.reason.find((app / "lingchao.lock").string()), std::string::npos) << result.reason;
        EXPECT_TRUE(guard->IsHeld());
        EXPECT_FALSE(std::filesystem::exists(run / "elsewhere")) << "a link was followed";
    }
}

}  // namespace
}  // namespace lingchao
