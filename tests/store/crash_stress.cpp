// The long counterpart of the crash-safety test, not run by ctest: a child runs the edit sequence and is killed
// at a random moment, by the clock rather than at chosen calls, so a kill can also land inside a system call.
// After every kill the group must be one state of the sequence. Usage: store_crash_stress [kills] [seed]

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>

#include "crash_harness.h"
#include "store/jilu.h"
#include "support/temp_folder.h"

int main(int argc, char** argv) {
    using namespace lingchao;
    const int kills = argc > 1 ? std::atoi(argv[1]) : 1000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 20261207u;
    const auto reference = test::ReferenceStates();
    const std::set<test::State> states(reference.begin(), reference.end());

    // The span of a whole run, measured once: kills are spread over it.
    long runMicros = 0;
    {
        test::TempFolder dir;
        test::WriteStartGroup(dir / kDefaultGroup);
        const auto start = std::chrono::steady_clock::now();
        test::RunOps(dir.path(), 0, test::kCrashOps, nullptr);
        runMicros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    }
    std::mt19937 rng(seed);
    std::uniform_int_distribution<long> delay(0, std::max<long>(1, runMicros));
    int interrupted = 0, bad = 0;
    for (int trial = 0; trial < kills; ++trial) {
        test::TempFolder dir;
        test::WriteStartGroup(dir / kDefaultGroup);
        const pid_t child = fork();
        if (child < 0) return 2;
        if (child == 0) {
            test::RunOps(dir.path(), 0, test::kCrashOps, nullptr);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(delay(rng)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status)) ++interrupted;
        if (states.count(test::ReadAll(dir / kDefaultGroup)) != 1) {
            ++bad;
            std::printf("kill %d: the group is not a state of the sequence\n", trial);
        }
    }
    std::printf("%d kills (%d mid-sequence) over a %ld us run, seed %u: %d broken groups\n", kills, interrupted,
                runMicros, seed, bad);
    return bad == 0 ? 0 : 1;
}
