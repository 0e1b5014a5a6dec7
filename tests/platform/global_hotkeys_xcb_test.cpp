// The X11 backend on a private Xvfb, driven by xdotool. Skips when Xvfb or xdotool is missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/global_hotkeys.h"

namespace lingchao {
namespace {

pid_t xvfbPid = 0;
std::string display;
std::unique_ptr<QGuiApplication> app;

// Starts Xvfb on a free display number it picks itself (-displayfd).
bool StartXvfb() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) return false;
    int fds[2];
    if (::pipe(fds) != 0) return false;
    xvfbPid = ::fork();
    if (xvfbPid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        const std::string path = xvfb.toStdString();
        ::execl(path.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) return false;
    display = ":" + number;
    return true;
}

class XcbHotkeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!StartXvfb()) return;
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "global_hotkeys_xcb_test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    static void TearDownTestSuite() {
        app.reset();
        if (xvfbPid > 0) {
            ::kill(xvfbPid, SIGTERM);
            ::waitpid(xvfbPid, nullptr, 0);
        }
    }
    void SetUp() override {
        if (!app) GTEST_SKIP() << "Xvfb or xdotool is not installed";
        hotkeys = CreateSystemHotkeys();
        ASSERT_TRUE(hotkeys->Available()) << hotkeys->UnavailableReason();
        hotkeys->SetHandler([this](Hotkey key) { pressed.push_back(key); });
    }
    void TearDown() override { hotkeys.reset(); }

    static void Xdotool(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        // Keep Qt's event queue moving while xdotool types.
        while (!p.waitForFinished(20)) QCoreApplication::processEvents();
    }
    // Presses `keys` and waits until `count` presses arrived or the time is up.
    std::vector<Hotkey> Type(const char* keys, std::size_t count, int waitMs = 15000) {
        pressed.clear();
        Xdotool({QStringLiteral("key"), QString::fromLatin1(keys)});
        QElapsedTimer t;
        t.start();
        while (pressed.size() < count && t.elapsed() < waitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return pressed;
    }

    std::unique_ptr<GlobalHotkeys> hotkeys;
    std::vector<Hotkey> pressed;
};

struct KeyRow {
    const char* keys;
    Hotkey expected;
};

class XcbHotkeyKeys : public XcbHotkeys, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(XcbHotkeyKeys, GrabbedCombinationReachesTheHandlerWithNumLockOffAndOn) {
    ASSERT_TRUE(hotkeys->Grab(Hotkey::ShowMainWindow));
    ASSERT_TRUE(hotkeys->Grab(Hotkey::ToggleDoor));
    EXPECT_EQ(Type(GetParam().keys, 1), std::vector<Hotkey>{GetParam().expected});
    Xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
    EXPECT_EQ(Type(GetParam().keys, 1), std::vector<Hotkey>{GetParam().expected}) << "with NumLock on";
    Xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")});
    Xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
    EXPECT_EQ(Type(GetParam().keys, 1), std::vector<Hotkey>{GetParam().expected}) << "with CapsLock on";
    Xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")});
}

INSTANTIATE_TEST_SUITE_P(Keys, XcbHotkeyKeys,
                         ::testing::Values(KeyRow{"ctrl+F12", Hotkey::ShowMainWindow},
                                           KeyRow{"ctrl+alt+KP_0", Hotkey::ToggleDoor},
                                           KeyRow{"ctrl+alt+KP_Insert", Hotkey::ToggleDoor}));

TEST_F(XcbHotkeys, OtherModifiersAndReleasedGrabsDeliverNothing) {
    ASSERT_TRUE(hotkeys->Grab(Hotkey::ShowMainWindow));
    ASSERT_TRUE(hotkeys->Grab(Hotkey::ShowMainWindow)) << "a second grab of a held combination is harmless";
    EXPECT_TRUE(Type("F12", 1, 500).empty());
    EXPECT_TRUE(Type("ctrl+shift+F12", 1, 500).empty());
    EXPECT_EQ(Type("ctrl+F12", 1).size(), 1u);
    hotkeys->Ungrab(Hotkey::ShowMainWindow);
    hotkeys->Ungrab(Hotkey::ShowMainWindow);
    EXPECT_TRUE(Type("ctrl+F12", 1, 500).empty());
    ASSERT_TRUE(hotkeys->Grab(Hotkey::ShowMainWindow)) << "grabbed again after release";
    EXPECT_EQ(Type("ctrl+F12", 1).size(), 1u);
}

TEST_F(XcbHotkeys, CombinationHeldByAnotherClientIsRefusedAndTheOtherStillWorks) {
    xcb_connection_t* other = xcb_connect(display.c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 0xffc9);  // F12
    ASSERT_NE(codes, nullptr);
    xcb_generic_error_t* error = xcb_request_check(
        other,
        xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_CONTROL, codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    ASSERT_EQ(error, nullptr);
    std::free(codes);
    xcb_key_symbols_free(symbols);

    EXPECT_FALSE(hotkeys->Grab(Hotkey::ShowMainWindow));
    EXPECT_TRUE(hotkeys->Grab(Hotkey::ToggleDoor));
    EXPECT_EQ(Type("ctrl+alt+KP_0", 1), std::vector<Hotkey>{Hotkey::ToggleDoor});
    xcb_disconnect(other);
}

}  // namespace
}  // namespace lingchao
