// A school's timetable must survive the PC being switched off mid-edit. A child process runs a sequence of
// moves, removes and additions and is killed after each edit in turn, and inside each save after every call
// that changes a file: the group is always whole, one state of the sequence, and the next save works.

#include <gtest/gtest.h>

#include "crash_harness.h"
#include "store/jilu.h"
#include "store/job_record.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::Point;
using test::State;

class CrashSafety : public ::testing::Test {
protected:
    static void SetUpTestSuite() { states = new std::vector<State>(test::ReferenceStates()); }
    static void TearDownTestSuite() {
        delete states;
        states = nullptr;
    }
    static const State& StateAfter(int ops) { return (*states)[static_cast<std::size_t>(ops)]; }
    static std::vector<State>* states;
};
std::vector<State>* CrashSafety::states = nullptr;

TEST_F(CrashSafety, TheSequenceChangesTheGroupAtEveryEdit) {
    ASSERT_EQ(states->size(), static_cast<std::size_t>(test::kCrashOps + 1));
    for (int i = 0; i < test::kCrashOps; ++i) EXPECT_NE(StateAfter(i), StateAfter(i + 1)) << "edit " << i;
}

TEST_F(CrashSafety, KilledAfterAnyEditTheGroupHoldsExactlyThatEdit) {
    for (int k = 1; k <= test::kCrashOps; ++k) {
        test::TempFolder dir;
        test::WriteStartGroup(dir / kDefaultGroup);
        const int killedAt =
            test::RunChild([&] { test::RunOps(dir.path(), 0, test::kCrashOps, [](int) { test::ReportStep(); }); },
                           false, [&](int stop, Point) { return stop == k; });
        EXPECT_EQ(killedAt, k) << "killed after edit " << k;
        EXPECT_TRUE(test::ReadAll(dir / kDefaultGroup) == StateAfter(k)) << "killed after edit " << k;
    }
}

// Each edit from its own start, killed after the 1st, 2nd, ... file call until it runs through.
TEST_F(CrashSafety, KilledInsideASaveTheGroupIsOldOrNewAndTheNextSaveWorks) {
    for (int i = 0; i < test::kCrashOps; ++i) {
        int calls = 0;
        for (int k = 1;; ++k) {
            test::TempFolder dir;
            test::WriteAll(dir / kDefaultGroup, StateAfter(i));
            const int killedAt = test::RunChild([&] { test::RunOps(dir.path(), i, i + 1, nullptr); }, true,
                                                [&](int stop, Point) { return stop == k; });
            const State content = test::ReadAll(dir / kDefaultGroup);
            if (killedAt == 0) {
                EXPECT_TRUE(content == StateAfter(i + 1)) << "edit " << i << " run through";
                break;
            }
            calls = k;
            const bool old = content == StateAfter(i);
            const bool done = content == StateAfter(i + 1);
            ASSERT_TRUE(old || done) << "edit " << i << " killed after file call " << k << ": " << content.size()
                                     << " bytes, neither before nor after the edit";
            // A new start over what the kill left: the edit (or the next) saves as if nothing had happened.
            const int next = old ? i : i + 1;
            if (next < test::kCrashOps) {
                test::RunOps(dir.path(), next, next + 1, nullptr);
                EXPECT_TRUE(test::ReadAll(dir / kDefaultGroup) == StateAfter(next + 1))
                    << "edit " << next << " after a kill inside edit " << i << " at file call " << k;
            }
        }
        // Every edit saves: at least one write, its sync and the rename were each a place to be killed.
        EXPECT_GE(calls, 3) << "edit " << i << ": the file calls were not seen";
    }
}

}  // namespace
}  // namespace lingchao
