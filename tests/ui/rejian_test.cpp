#include "ui/rejian.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/desktop_fakes.h"

namespace lingchao {
namespace {

using test::FakeGuard;
using test::FakeHotkeys;
using test::FakeMediaControl;
using test::ScriptedDialogs;
using test::TempFolder;

struct InstanceRow {
    GuardOutcome outcome;
    InstanceCheck expected;
    bool boxShown;
};

class CheckSingleInstanceTest : public ::testing::TestWithParam<InstanceRow> {};

TEST_P(CheckSingleInstanceTest, OnlyAnotherRunningCopyEndsTheProgramWithTheBox) {
    FakeGuard guard;
    guard.outcome = GetParam().outcome;
    ScriptedDialogs dialogs;
    std::string unguarded = "stale";
    EXPECT_EQ(CheckSingleInstance(guard, dialogs, &unguarded), GetParam().expected);
    // Running without a guard is never silent: the clock says so, with the reason.
    if (GetParam().outcome == GuardOutcome::Unavailable) {
        EXPECT_EQ(unguarded, UnguardedText("read-only folder"));
        EXPECT_NE(unguarded.find("read-only folder"), std::string::npos);
    } else {
        EXPECT_EQ(unguarded, "");
    }
    ASSERT_EQ(dialogs.messages.size(), GetParam().boxShown ? 1u : 0u);
    if (!GetParam().boxShown) return;
    const MessageRequest& box = dialogs.messages[0];
    EXPECT_EQ(box.text, "程序正在运行！");
    EXPECT_EQ(box.title, "提示");
    EXPECT_EQ(box.icon, MessageIcon::Information);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_TRUE(box.systemModal);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, CheckSingleInstanceTest,
                         ::testing::Values(InstanceRow{GuardOutcome::Acquired, InstanceCheck::Proceed, false},
                                           InstanceRow{GuardOutcome::HeldByAnother, InstanceCheck::EndProgram, true},
                                           // An unwritable guard place is not another copy: start without a guard.
                                           InstanceRow{GuardOutcome::Unavailable, InstanceCheck::Proceed, false}));

TEST(PrepareNullMediaFile, CreatesOrEmptiesItAndLeavesAMissingMusicFolderAlone) {
    TempFolder withMusic, withoutMusic;
    std::filesystem::create_directory(withMusic / "music");
    PrepareNullMediaFile(withMusic.path());
    ASSERT_TRUE(std::filesystem::exists(withMusic / "music/null.dll"));
    EXPECT_EQ(std::filesystem::file_size(withMusic / "music/null.dll"), 0u);

    std::ofstream(withMusic / "music/null.dll") << "left over from a crash";
    PrepareNullMediaFile(withMusic.path());
    EXPECT_EQ(std::filesystem::file_size(withMusic / "music/null.dll"), 0u);

    // A link planted in its place is replaced, never followed: the file it points to keeps its content.
    TempFolder elsewhere;
    std::ofstream(elsewhere / "victim") << "mine";
    std::filesystem::remove(withMusic / "music/null.dll");
    std::filesystem::create_symlink(elsewhere / "victim", withMusic / "music/null.dll");
    PrepareNullMediaFile(withMusic.path());
    EXPECT_EQ(std::filesystem::file_size(elsewhere / "victim"), 4u);
    EXPECT_FALSE(std::filesystem::is_symlink(withMusic / "music/null.dll"));
    EXPECT_EQ(std::filesystem::file_size(withMusic / "music/null.dll"), 0u);

    PrepareNullMediaFile(withoutMusic.path());
    EXPECT_FALSE(std::filesystem::exists(withoutMusic / "music"));
}

class RejianTest : public ::testing::Test {
protected:
    Rejian::Hooks Hooks() {
        return {[this] { ++shown; }, [this] { return mainVisible; }, [this] { ++ended; }};
    }
    FakeHotkeys hotkeys;
    FakeMediaControl media;
    FakeGuard guard;
    ScriptedDialogs dialogs;
    int shown = 0;
    int ended = 0;
    bool mainVisible = false;
    Rejian rejian{hotkeys, media, guard, dialogs, Hooks()};
};

TEST_F(RejianTest, InstallingTwiceNeverDoublesAGrabAndRemovingIsIdempotent) {
    rejian.InstallHotkeys();
    rejian.InstallHotkeys();
    EXPECT_EQ(hotkeys.doubled, 0);
    EXPECT_EQ(hotkeys.log, (std::vector<std::string>{"grab Ctrl+F12", "grab Ctrl+Alt+Num0", "ungrab Ctrl+F12",
                                                     "ungrab Ctrl+Alt+Num0", "grab Ctrl+F12", "grab Ctrl+Alt+Num0"}));
    rejian.RemoveHotkeys();
    rejian.RemoveHotkeys();
    EXPECT_EQ(hotkeys.log.size(), 8u);
    EXPECT_FALSE(hotkeys.held[Hotkey::ShowMainWindow]);
    EXPECT_FALSE(hotkeys.held[Hotkey::ToggleDoor]);
    EXPECT_FALSE(rejian.hotkeysInstalled());
}

TEST_F(RejianTest, ACombinationTakenByAnotherProgramLeavesTheOtherWorking) {
    hotkeys.refused[Hotkey::ShowMainWindow] = true;
    rejian.InstallHotkeys();
    hotkeys.Press(Hotkey::ToggleDoor);
    EXPECT_EQ(media.commands, std::vector<std::string>{"open"});
}

TEST_F(RejianTest, CtrlF12ShowsTheMainWindowOnlyWhenItIsNotVisible) {
    rejian.InstallHotkeys();
    hotkeys.Press(Hotkey::ShowMainWindow);
    EXPECT_EQ(shown, 1);
    mainVisible = true;  // shown, or minimised, or behind other windows
    hotkeys.Press(Hotkey::ShowMainWindow);
    EXPECT_EQ(shown, 1);
}

TEST_F(RejianTest, DoorCommandsAlternateFromTheProgramsOwnBeliefWhateverTheDriveSays) {
    rejian.InstallHotkeys();
    EXPECT_FALSE(rejian.cdDoorOpen());
    for (int i = 0; i < 4; ++i) hotkeys.Press(Hotkey::ToggleDoor);
    EXPECT_EQ(media.commands, (std::vector<std::string>{"open", "close", "open", "close"}));
    media.driveAnswers = true;
    hotkeys.Press(Hotkey::ToggleDoor);
    EXPECT_TRUE(rejian.cdDoorOpen());
}

TEST_F(RejianTest, KeysDoNothingOnceRemoved) {
    rejian.InstallHotkeys();
    rejian.RemoveHotkeys();
    rejian.HotkeyPressed(Hotkey::ShowMainWindow);  // a press already queued when the keys went
    rejian.HotkeyPressed(Hotkey::ToggleDoor);
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(media.commands.empty());
}

TEST_F(RejianTest, WithoutX11TheHotkeysAreUnavailableAndSaidSoOnce) {
    hotkeys.available = false;
    ::testing::internal::CaptureStderr();
    rejian.InstallHotkeys();
    rejian.InstallHotkeys();
    const std::string log = ::testing::internal::GetCapturedStderr();
    const auto first = log.find("global hotkeys unavailable");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("global hotkeys unavailable", first + 1), std::string::npos) << log;
    EXPECT_TRUE(hotkeys.log.empty());
}

TEST_F(RejianTest, QuitAsksAndCancelKeepsEverythingRunning) {
    guard.Acquire();
    rejian.InstallHotkeys();
    dialogs.answers.push_back(MessageAnswer::Cancel);
    EXPECT_FALSE(rejian.QuitProgram());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const MessageRequest& box = dialogs.messages[0];
    EXPECT_EQ(box.text, "确定退出铃潮吗？");
    EXPECT_EQ(box.title, "退出");
    EXPECT_EQ(box.icon, MessageIcon::Question);
    EXPECT_EQ(box.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(box.defaultButton, 1);
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(guard.IsHeld());
    hotkeys.Press(Hotkey::ShowMainWindow);
    EXPECT_EQ(shown, 1) << "the hotkeys still work after Cancel";
}

TEST_F(RejianTest, QuitWithOkReleasesKeysAndGuardThenEnds) {
    guard.Acquire();
    rejian.InstallHotkeys();
    dialogs.answers.push_back(MessageAnswer::Ok);
    EXPECT_TRUE(rejian.QuitProgram());
    EXPECT_FALSE(hotkeys.held[Hotkey::ShowMainWindow]);
    EXPECT_FALSE(hotkeys.held[Hotkey::ToggleDoor]);
    EXPECT_FALSE(guard.IsHeld());
    EXPECT_EQ(ended, 1);
}

}  // namespace
}  // namespace lingchao
