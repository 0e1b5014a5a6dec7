#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "support/block_watch.h"
#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/about_box.h"
#include "ui/clock_window.h"
#include "ui/music_list_window.h"
#include "ui/shutdown_settings_dialog.h"

namespace lingchao {
namespace {

class NoTool final : public SysInfoLauncher {
public:
    bool Start() override { return false; }
};

struct Opened {
    const char* name;
    std::function<std::unique_ptr<QWidget>(QWidget* mainWindow)> make;
};

// The windows the main window's menus open: over the main window they block it and leave the floating clock (its
// stop and skip) alone; with the main window hidden (opened from the clock) they come up in the screen's middle,
// not at the hidden window's old place.
TEST(MainWindowDialogs, BlockOnlyTheMainWindowAndCentreOnTheScreenWhenItIsHidden) {
    test::TempFolder dir;
    test::ScriptedDialogs dialogs;
    test::FakePlayer player;
    NoTool tool;
    const std::vector<Opened> windows{
        {"about", [&](QWidget* w) { return std::make_unique<AboutBox>(dialogs, tool, w); }},
        {"shutdown",
         [&](QWidget* w) {
             return std::make_unique<ShutdownSettingsDialog>(dir.path(), dialogs, nullptr, nullptr, w);
         }},
        {"music lists", [&](QWidget* w) { return std::make_unique<Form5>(dir / "music", player, dialogs, w); }},
    };
    ClockWindow clock(ClockWindow::Hooks{});
    clock.show();
    for (const Opened& o : windows) {
        SCOPED_TRACE(o.name);
        QWidget mainWindow;
        mainWindow.setGeometry(20, 20, 300, 200);
        test::BlockWatch watch;
        mainWindow.installEventFilter(&watch);
        clock.installEventFilter(&watch);
        mainWindow.show();
        {
            auto dialog = o.make(&mainWindow);
            EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
            dialog->show();
            EXPECT_TRUE(QTest::qWaitFor([&] { return watch.Blocked(&mainWindow); }));
            QApplication::processEvents();
            EXPECT_FALSE(watch.Blocked(&clock));
        }
        mainWindow.move(0, 0);
        mainWindow.hide();
        auto dialog = o.make(&mainWindow);
        dialog->show();
        const QPoint screenCentre = dialog->screen()->availableGeometry().center();
        EXPECT_LE((dialog->geometry().center() - screenCentre).manhattanLength(), 8);  // a frame's rounding
        QApplication::processEvents();
        EXPECT_FALSE(watch.Blocked(&clock));
        dialog.reset();
        clock.removeEventFilter(&watch);
    }
}

}  // namespace
}  // namespace lingchao
