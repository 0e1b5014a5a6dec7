#include "app/program.h"

#include <QCoreApplication>
#include <QMenu>
#include <QTimer>

#include "base/log.h"
#include "base/log_dialogs.h"
#include "base/text.h"
#include "campus/campus_status.h"
#include "platform/app_folder.h"
#include "platform/display_session.h"
#include "platform/logind_sleep_inhibitor.h"
#include "platform/mpris.h"
#include "platform/pulse_output.h"
#include "platform/pulse_volume.h"
#include "platform/qt_dialogs.h"
#include "player/gst_media_probe.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "shutdown/guanji.h"
#include "ui/about_box.h"
#include "ui/calendar_window.h"
#include "ui/campus_desk.h"
#include "ui/desktop_shell.h"
#include "ui/main_window.h"
#include "ui/music_list_window.h"
#include "ui/rejian.h"
#include "ui/shutdown_confirm.h"
#include "ui/shutdown_settings_dialog.h"
#include "ui/signal_desk.h"
#include "ui/web_desk.h"
#include "ui/window_placement.h"

namespace lingchao {

Program::Program(std::filesystem::path appFolder, bool windows)
    : appFolder_(std::move(appFolder)),
      windows_(windows),
      jilu_(appFolder_, nullptr, [this] { PostToBell([](Bell& bell) { bell.TimetableSaved(); }); }) {
    Bell::Outlets outlets;
    // The office page shows the signal too: a copy it reads on its own thread, whether or not there are windows.
    outlets.signalState = [this, webSignal = signalWatch_, windows = windows_](const SignalState& s) {
        webSignal->Publish(s);
        if (windows) OnWindowsThread([this, s] { signals_->ShowState(s); });
    };
    outlets.nowPlaying = [this](const NowPlaying& now) {
        OnWindowsThread([this, now] {
            player_->Published(now);
            if (mpris_) mpris_->Update(now);
        });
    };
    if (windows_) {
        outlets.showClock = [this](const std::string& time, const std::string& weekday) {
            OnWindowsThread([this, time, weekday] { shell_->ShowClock(time, weekday); });
        };
        outlets.confirmShutdown = [this] { OnWindowsThread([this] { confirm_->ConfirmShutdown(); }); };
        outlets.showPlan = [this](const std::string& plan, const std::string& changes) {
            OnWindowsThread([this, plan, changes] {
                form4_->ShowPlanLine(plan);
                shell_->ShowPlan(plan, changes);
            });
        };
        outlets.offerTidy = [this](bool offer) { OnWindowsThread([this, offer] { shell_->OfferTidy(offer); }); };
    }
    const std::filesystem::path folder = appFolder_;
    WarningBoard* warnings = &warnings_;
    // Made on the bell's thread: the player's bus, the output monitor's and the inhibitor's answers come there.
    bell_ = std::make_unique<BellThread>([folder, warnings, outlets] {
        Bell::Parts parts;
        parts.appFolder = folder;
        parts.clock = std::make_unique<SystemClock>();
        parts.makePlayer = [folder](std::function<void(const std::string&, const std::string&)> failed) {
            return CreatePlayer({NullMediaPath(folder), "", nullptr, std::move(failed)});
        };
        parts.probe = std::make_unique<GstMediaProbe>();
        parts.inhibitor = std::make_unique<LogindSleepInhibitor>();
        parts.soundOutput = std::make_unique<PulseOutputMonitor>();
        parts.volume = std::make_unique<PulseVolumeControl>();
        parts.warnings = warnings;
        return std::make_unique<Bell>(std::move(parts), outlets);
    });
    player_ = std::make_unique<QueuedPlayer>(*bell_);
    jilu_.SetChangeReporter([this](const std::string& failure) {
        warnings_.Set("save-failed", failure.empty() ? "" : "任务表的修改没有保存：" + failure);
    });
    // Before the scheduler starts: a bell found by name must not wait for a walk of the disk.
    musicNames_ = std::make_unique<MusicNamesWatcher>(
        MusicFolder(appFolder_), [this] { PostToBell([](Bell& bell) { bell.MusicFolderChanged(); }); });
    web_ = std::make_unique<WebDesk>(
        BellWebBackend::Parts{appFolder_, &clock_, bell_.get(), &warnings_,
                              [this] { PostToBell([](Bell& bell) { bell.CalendarChanged(); }); }, signalWatch_,
                              [this] { return CalendarReadOnly(); }},
        &warnings_);
    if (windows_) {
        BuildWindows();
        // The board may change on either thread; the clock shows it as it stands when the call arrives.
        warnings_.SetListener([this](const std::string&) {
            OnWindowsThread([this] { shell_->ShowProblems(warnings_.Text(), warnings_.Level()); });
        });
    } else {
        dialogs_ = std::make_unique<LogDialogs>();
    }
    clockSync_ = std::make_unique<ClockSyncWatch>(warnings_);
}

Program::~Program() {
    warnings_.SetListener(nullptr);
    warnings_.SetRecheck("folder-permissions", nullptr);
    campus_.reset();  // says goodbye to the broker; nothing it applies comes after
    // The bell first (its workers cancelled, its player stopped), so that nothing it publishes meets a window
    // that is gone; the instance guard last, so that no second copy starts while this one still rings.
    web_.reset();  // no request reaches a bell that is going
    bell_.reset();
    mpris_.reset();
    clockSync_.reset();
    musicNames_.reset();
    today_.reset();
    confirm_.reset();
    form4_.reset();
    shell_.reset();
    headlessGuard_.reset();
}

void Program::OnWindowsThread(std::function<void()> work) {
    QMetaObject::invokeMethod(&windowsHome_, std::move(work), Qt::QueuedConnection);
}

void Program::BuildWindows() {
    dialogs_ = std::make_unique<QtDialogs>();
    form4_ = std::make_unique<Form4>(Form4::Services{jilu_, *dialogs_, *player_, [this](const JobRecord& r) {
                                                         std::string path = MusicForWeekday(r, clock_.Now().weekday);
                                                         player_->NameJob(std::string(Trim(r.JobName)),
                                                                          path);  // only the run-job command asks
                                                         return path;
                                                     }});
    const PlayerCommands commands{[this] { PostToBell([](Bell& bell) { bell.PlayCommand(); }); },
                                  [this] { PostToBell([](Bell& bell) { bell.PauseCommand(); }); },
                                  [this] { PostToBell([](Bell& bell) { bell.StopCommand(); }); }};
    form4_->SetPlayerCommands(commands);

    DesktopShell::Hooks shellHooks;
    shellHooks.showMainWindow = [this] { ShowMainWindow(); };
    shellHooks.mainWindowVisible = [this] { return form4_->isVisible(); };
    shellHooks.play = commands.play;
    shellHooks.pause = commands.pause;
    shellHooks.stop = commands.stop;
    shellHooks.tidy = [this] { OpenTidy(); };
    shell_ = std::make_unique<DesktopShell>(appFolder_, *dialogs_, shellHooks);

    Form4Hooks& hooks = form4_->hooks();
    hooks.quit = [this] { shell_->QuitProgram(); };
    hooks.shuttime = [this] { OpenShutdownSettings(); };
    hooks.wmp = [this] { OpenMusicLists(); };
    hooks.about = [this] { OpenAbout(); };
    hooks.tidy = [this] { OpenTidy(); };
    hooks.importOld = [this] { OpenImport(); };
    // 恢复… beside the import in 文件.
    AddRestoreItem(form4_.get(), [this] { OpenRestore(); });

    today_ = std::make_unique<TodayCommands>(CalendarServices{
        appFolder_, *dialogs_, clock_, [this] { PostToBell([](Bell& bell) { bell.CalendarChanged(); }); },
        [this] { return CalendarReadOnly(); }});
    signals_ = std::make_unique<SignalDesk>(appFolder_, *dialogs_, AskBell("this PC"),
                                            [this] { return shell_->clock()->frameGeometry(); });
    // In 任务(J) before the timed shutdown's group; in the clock's menu before quitting.
    QMenu* clockMenu = shell_->clockMenu()->wenjian();
    QAction* quit = shell_->clockMenu()->findChild<QAction*>(QStringLiteral("bbb"));
    today_->AddTo(clockMenu, quit);
    signals_->AddTo(clockMenu, quit);
    web_->AddTo(clockMenu, quit, dialogs_.get());
    // On a follower or a standby the timetable comes from the main: written there, read-only here.
    const auto timetableOwner = [this] {
        form4_->SetReadOnly(TimetableReadOnlyReason(ReadCampusSettings(appFolder_)));
    };
    // New settings from the 校园 window: the service starts again with them, and the timetable's owner may change.
    campusDesk_ = std::make_unique<CampusDesk>(
        appFolder_, [this] { return CampusNow(); },
        [this, timetableOwner] {
            RestartCampus();
            timetableOwner();
        });
    campusDesk_->AddTo(clockMenu, quit, dialogs_.get());
    timetableOwner();
    if (auto* job = form4_->findChild<QMenu*>(QStringLiteral("job"))) {
        QAction* shutdownGroup = ItemBefore(job, QStringLiteral("shuttime"));
        today_->AddTo(job, shutdownGroup);
        signals_->AddTo(job, shutdownGroup);
    }

    confirm_ = std::make_unique<ShutdownConfirmHost>([this] { ShutdownSequence(); });
}

bool Program::Start() {
    if (windows_) {
        if (!shell_->Start()) return false;
        warnings_.Set("instance-guard", shell_->unguarded());
    } else {
        headlessGuard_ = MakeInstanceGuard(appFolder_);
        std::string unguarded;
        if (CheckSingleInstance(*headlessGuard_, *dialogs_, &unguarded) == InstanceCheck::EndProgram) return false;
        warnings_.Set("instance-guard", unguarded);
        PrepareNullMediaFile(appFolder_);
    }
    // Before the bell's first tick: a standby knows whose bells it passes over.
    RestartCampus();
    // The bell starts with the program, not when the splash hands over to the clock: a PC that starts a few
    // seconds before a bell still rings it.
    PostToBell([](Bell& bell) { bell.Start(); });
    warnings_.Set("folder-permissions", FolderPermissionWarning(appFolder_));
    // A chmod mends it unseen: looked at again by the bell's tick while it is up (a few stats).
    warnings_.SetRecheck("folder-permissions",
                         [this] { warnings_.Set("folder-permissions", FolderPermissionWarning(appFolder_)); });
    StartMpris();
    web_->Start();
    clockSync_->Start();
    if (const std::string notice = NoX11Notice(); windows_ && !notice.empty()) {
        // Once, as soon as the event loop runs; the splash is up by then.
        QTimer::singleShot(0, shell_.get(), [this, notice] {
            dialogs_->Message({notice, "提示", MessageIcon::Information, MessageButtons::Ok, 0});
        });
    }
    return true;
}

void Program::RestartCampus() {
    campus_.reset();
    CampusService::Hooks hooks;
    hooks.status = [folder = appFolder_, warnings = &warnings_] { return OwnCampusStatus(folder, *warnings); };
    hooks.applied = [this](CampusFileKind kind) {
        if (kind == CampusFileKind::Timetable) {
            // As after the import: the list is read again, and the reload tells the bell (TimetableSaved).
            OnWindowsThread([this] { jilu_.LoadJobTable(kDefaultGroup); });
        } else {
            // The bell's own watch of calendar.csv would see it within a second; told at once all the same.
            PostToBell([](Bell& bell) { bell.CalendarChanged(); });
        }
    };
    // A campus drill: the main tells what it sounds, the others sound it with it.
    hooks.signalNow = [watch = signalWatch_] { return CampusSignalOf(watch->Current()); };
    hooks.mainSignal = [this](const CampusSignal& s) {
        PostToBell(
            [main = SignalStateOf(s), from = s.from.toStdString()](Bell& bell) { bell.FollowSignal(main, from); });
    };
    hooks.takeOver = [this](bool active, const QString&) {
        PostToBell([active](Bell& bell) { bell.TakeOver(active); });
    };
    hooks.peerRang = [this](const QString&, const CampusLastBell& rang) {
        const std::optional<CalendarDate> date = ParseDate(rang.date.toStdString());
        if (!date ||
            !(rang.outcome.startsWith(QStringLiteral("fired")) || rang.outcome.startsWith(QStringLiteral("silent"))))
            return;
        PostToBell([date = *date, time = rang.time.toStdString()](Bell& bell) { bell.PeerRang(date, time); });
    };
    // Before the service runs: a standby must not ring its PC's first bell while it learns whether that PC is up.
    const CampusSettingsRead read = ReadCampusSettings(appFolder_);
    const bool standby = read.On() && read.settings.role == CampusRole::Standby;
    PostToBell(
        [pc = standby ? read.settings.standbyFor.toStdString() : std::string()](Bell& bell) { bell.SetStandby(pc); });
    campus_ = StartCampus(appFolder_, warnings_, std::move(hooks));
}

CampusView Program::CampusNow() const { return campus_ ? campus_->View() : CampusView{}; }

SignalBusService::Hook Program::AskBell(std::string origin) {
    return [this, origin](SignalRequest request, const std::string& name, const SignalBusService::Reply& reply) {
        PostToBell([this, origin, request, name, reply](Bell& bell) {
            const std::string why = request == SignalRequest::Start  ? bell.StartSignal(name, origin)
                                    : request == SignalRequest::Next ? bell.NextSignalStep()
                                                                     : bell.EndSignal();
            OnWindowsThread([reply, why] { reply(why); });
        });
    };
}

void Program::StartMpris() {
    // Beside it on the bus, the drills asked from the command line: the bell answers them on its own thread.
    signalBus_ = std::make_unique<SignalBusService>(AskBell("command line"));
    signalBus_->Register();
    MprisService::Commands commands{[this] { PostToBell([](Bell& bell) { bell.PlayCommand(); }); },
                                    [this] { PostToBell([](Bell& bell) { bell.PauseCommand(); }); },
                                    [this] { PostToBell([](Bell& bell) { bell.StopCommand(); }); }, nullptr};
    if (windows_) commands.raise = [this] { ShowMainWindow(); };
    mpris_ = std::make_unique<MprisService>(std::move(commands));
    QString why;
    if (!mpris_->Register(&why)) {
        LogLine("media controls (MPRIS) off: " + why.toStdString());
        return;
    }
    // What plays comes from the bell (see the nowPlaying outlet); until it tells, nothing plays.
    mpris_->Update(NowPlaying{});
}

void Program::ShowMainWindow() { lingchao::ShowMainWindow(form4_.get()); }

void Program::OpenShutdownSettings() {
    ShutdownSettingsDialog(
        appFolder_, *dialogs_,
        [this](const ShutdownSettings& s) { PostToBell([s](Bell& bell) { bell.SetShutdownSettings(s); }); },
        [this] { confirm_->ConfirmShutdown(); }, form4_.get())
        .exec();
}

void Program::OpenMusicLists() { Form5(MusicFolder(appFolder_), *player_, *dialogs_, form4_.get()).exec(); }

void Program::OpenAbout() { AboutBox(*dialogs_, sysInfo_, form4_.get()).exec(); }

// From any thread (the office page's).
std::string Program::CalendarReadOnly() const {
    return CalendarReadOnlyReason(ReadCampusSettings(appFolder_)).toStdString();
}

void Program::OpenTidy() {
    if (!TimetableHeldElsewhere(appFolder_, *dialogs_)) RunTidyCommand(Moving(), DialogParent());
}

MovingServices Program::Moving() {
    return {appFolder_, *dialogs_, [this] { return musicNames_->RescanNow(); },
            [this] { jilu_.LoadJobTable(kDefaultGroup); },
            [this] {
                const ShutdownSettings settings = LoadShutdownSettings(appFolder_);
                PostToBell([settings](Bell& bell) { bell.SetShutdownSettings(settings); });
            }};
}

QWidget* Program::DialogParent() const { return form4_ && form4_->isVisible() ? form4_.get() : nullptr; }

void Program::OpenImport() {
    if (!TimetableHeldElsewhere(appFolder_, *dialogs_)) RunImportCommand(Moving(), DialogParent());
}

void Program::OpenRestore() {
    if (!TimetableHeldElsewhere(appFolder_, *dialogs_)) RunRestoreCommand(Moving(), DialogParent());
}

void Program::ShutdownSequence() {
    RunShutdownSequence(requester_, *dialogs_,
                        {[this] { shell_->guard().Release(); }, [this] { shell_->RemoveHotkeys(); },
                         [this] { shell_->InstallHotkeys(); }, [this] { shell_->guard().Reacquire(); },
                         [] { QCoreApplication::exit(0); }});
}

}  // namespace lingchao
