#include "ui/desktop_shell.h"

#include <QApplication>
#include <QCoreApplication>

#include "platform/window_hints.h"
#include "ui/clock_menu.h"
#include "ui/clock_window.h"
#include "ui/splash.h"

namespace lingchao {
namespace {

void Call(const std::function<void()>& hook) {
    if (hook) hook();
}

}  // namespace

DesktopShell::DesktopShell(std::filesystem::path appFolder, Dialogs& dialogs, Hooks hooks, Platform platform)
    : appFolder_(std::move(appFolder)),
      hooks_(std::move(hooks)),
      guard_(std::move(platform.guard)),
      hotkeys_(std::move(platform.hotkeys)),
      media_(std::move(platform.media)) {
    if (!guard_) guard_ = MakeInstanceGuard(appFolder_);
    if (!hotkeys_) hotkeys_ = CreateSystemHotkeys();
    if (!media_) media_ = std::make_unique<LinuxMediaControl>();
    if (!hooks_.endProgram) hooks_.endProgram = [] { QCoreApplication::exit(0); };
    rejian_ =
        std::make_unique<Rejian>(*hotkeys_, *media_, *guard_, dialogs,
                                 Rejian::Hooks{hooks_.showMainWindow, hooks_.mainWindowVisible, hooks_.endProgram});
    menu_ = std::make_unique<ClockMenu>(
        ClockMenu::Hooks{hooks_.showMainWindow, hooks_.play, hooks_.pause, hooks_.stop, [this] { QuitProgram(); }});
    menu_->SetTidyHook(hooks_.tidy);
}

DesktopShell::~DesktopShell() {
    rejian_->RemoveHotkeys();
    delete splash_.data();
    delete clock_.data();
}

bool DesktopShell::Start() {
    // Only the clock (a tool window) is left most of the time: it must not end the program.
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) app->setQuitOnLastWindowClosed(false);
    if (CheckSingleInstance(*guard_, rejian_->dialogs(), &unguarded_) == InstanceCheck::EndProgram) return false;
    PrepareNullMediaFile(appFolder_);
    splash_ = new Splash([this] { ShowClockWindow(); });
    splash_->setAttribute(Qt::WA_DeleteOnClose);
    splash_->Load();
    splash_->show();
    return true;
}

void DesktopShell::ShowClockWindow() {
    if (clock_) return;
    clock_ = new ClockWindow(ClockWindow::Hooks{hooks_.showMainWindow});
    clock_->SetPopupMenu(menu_->wenjian());
    clock_->ShowClock(time_, weekday_);
    clock_->ShowProblems(problems_, problemLevel_);
    clock_->ShowPlan(plan_, todayChanges_);
    MakeFloatingWindow(*clock_);
    // The hotkeys belong to the clock window: they go when it goes.
    connect(clock_, &QObject::destroyed, this, [this] { rejian_->RemoveHotkeys(); });
    InstallHotkeys();
    Call(hooks_.clockLoaded);
    clock_->show();
}

void DesktopShell::QuitProgram() { rejian_->QuitProgram(); }
void DesktopShell::InstallHotkeys() { rejian_->InstallHotkeys(); }
void DesktopShell::RemoveHotkeys() { rejian_->RemoveHotkeys(); }

void DesktopShell::ShowClock(const std::string& time, const std::string& weekdayCode) {
    time_ = time;
    weekday_ = weekdayCode;
    if (clock_) clock_->ShowClock(time, weekdayCode);
}

void DesktopShell::ShowProblems(const std::string& text, WarningLevel level) {
    problems_ = text;
    problemLevel_ = level;
    if (clock_) clock_->ShowProblems(text, level);
}

void DesktopShell::ShowPlan(const std::string& plan, const std::string& todayChanges) {
    plan_ = plan;
    todayChanges_ = todayChanges;
    if (clock_) clock_->ShowPlan(plan, todayChanges);
}

void DesktopShell::OfferTidy(bool offered) { menu_->OfferTidy(offered); }

}  // namespace lingchao
