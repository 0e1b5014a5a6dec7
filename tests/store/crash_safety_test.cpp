// A school's timetable must survive the PC being switched off mid-edit: kill the process at random moments
// while it moves, removes and adds jobs, and the group file is always one whole state of the sequence.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>

#include "store/jilu.h"
#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

constexpr int kOps = 120;

// The same deterministic edit sequence every time: moves, removes and additions over a small group.
void RunOps(const std::filesystem::path& folder, const std::function<void()>& afterEach) {
    test::FakeList list;
    Jilu jilu(folder, &list, nullptr);
    jilu.LoadJobTable(kDefaultGroup);
    for (int i = 0; i < kOps; ++i) {
        const int count = list.RowCount();
        switch (i % 4) {
            case 0:
                jilu.SwapJobRecords(kDefaultGroup, 1 + i % (count - 1), +1);
                break;
            case 1:
                jilu.DeleteJobRecord(kDefaultGroup, 1 + (i * 7) % count, count);
                break;
            case 2:
                jilu.SwapJobRecords(kDefaultGroup, 2 + i % (count - 1), -1);
                break;
            case 3: {
                JobEditorFields f;
                f.number = std::to_string(count + 1);
                f.name = "新" + std::to_string(i);
                f.time = "09:00";
                jilu.SaveJobFromEditor(kDefaultGroup, f);
                break;
            }
        }
        jilu.LoadJobTable(kDefaultGroup);
        if (afterEach) afterEach();
    }
}

TEST(CrashSafety, KilledMidEditTheGroupIsAlwaysAWholeStateOfTheSequence) {
    test::TempFolder reference;
    test::WriteNumberedGroup(reference / "default.dll", 6);
    std::set<std::vector<std::uint8_t>> states{test::ReadAll(reference / "default.dll")};
    const auto start = std::chrono::steady_clock::now();
    RunOps(reference.path(), [&] { states.insert(test::ReadAll(reference / "default.dll")); });
    const auto runMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();

    std::mt19937 rng(20261207);
    std::uniform_int_distribution<long> delay(0, std::max<long>(1, runMicros));
    int interrupted = 0;
    for (int trial = 0; trial < 40; ++trial) {
        test::TempFolder dir;
        test::WriteNumberedGroup(dir / "default.dll", 6);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RunOps(dir.path(), nullptr);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(delay(rng)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) ++interrupted;
        const auto content = test::ReadAll(dir / "default.dll");
        EXPECT_EQ(content.size() % JobRecordLength, 0u) << "trial " << trial;
        EXPECT_TRUE(states.count(content) == 1) << "trial " << trial << ": a state outside the sequence";
    }
    EXPECT_GT(interrupted, 10) << "the kills should mostly land mid-sequence";
}

}  // namespace
}  // namespace lingchao
