#include "app/program.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QTimer>
#include <QTranslator>

#include "base/log.h"
#include "base/text.h"
#include "platform/app_folder.h"
#include "platform/display_session.h"
#include "platform/mpris.h"
#include "platform/qt_dialogs.h"
#include "player/media_probe.h"
#include "player/player_backend.h"
#include "player/player_commands.h"
#include "shutdown/guanji.h"
#include "ui/about_box.h"
#include "ui/calendar_window.h"
#include "ui/desktop_shell.h"
#include "ui/main_window.h"
#include "ui/moving_commands.h"
#include "ui/music_list_window.h"
#include "ui/rejian.h"
#include "ui/shutdown_confirm.h"
#include "ui/shutdown_settings_dialog.h"

namespace lingchao {
namespace {

// Without a display nobody can answer a box: its text goes to the log and it counts as cancelled.
class LogDialogs final : public Dialogs {
public:
    MessageAnswer Message(const MessageRequest& request) override {
        LogLine(request.title + ": " + request.text);
        switch (request.buttons) {
            case MessageButtons::Ok:
                return MessageAnswer::Ok;
            case MessageButtons::OkCancel:
                return MessageAnswer::Cancel;
            case MessageButtons::YesNo:
                return MessageAnswer::No;
        }
        return MessageAnswer::Cancel;
    }
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const FileDialogRequest&) override { return std::nullopt; }
};

}  // namespace

bool InstallChineseTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        LogLine("Qt's Chinese translations (qtbase_zh_CN.qm) not found: standard buttons stay English");
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

Program::Program(std::filesystem::path appFolder, bool windows)
    : appFolder_(std::move(appFolder)),
      windows_(windows),
      player_(std::make_unique<PlaybackWatch>(CreatePlayer({NullMediaPath(appFolder_), "", nullptr,
                                                            [this](const std::string& path, const std::string& reason) {
                                                                runtime_.bellLog().PlaybackFailed(
                                                                    runtime_.clock().Now(), path, reason);
                                                                player_->PlaybackFailed(path);
                                                            }}),
                                              NullMediaPath(appFolder_))),
      nullMedia_(NullMediaPath(appFolder_)),
      runtime_(appFolder_, *player_),
      jilu_(appFolder_, nullptr, [this] {
          runtime_.scheduler().BuildScheduleIndex();
          IndexRebuilt();
          // Every change of the group: a missing bell file shows the morning it is copied wrong.
          if (selfCheck_) selfCheck_->Request();
          if (calendar_) calendar_->Refresh();
      }) {
    ConnectEndOfStream(*player_, nullMedia_);
    QObject::connect(&timetableRetry_, &QTimer::timeout, [this] {
        runtime_.scheduler().BuildScheduleIndex();
        IndexRebuilt();
        if (runtime_.scheduler().timetableProblem().empty() && selfCheck_) selfCheck_->Request();
    });
    soundOutput_.SetListener([this](const SoundOutputState& state) { SoundOutputRead(state); });
    runtime_.SetSoundOutput(&soundOutput_);
    jilu_.SetChangeReporter([this](const std::string& failure) {
        warnings_.Set("save-failed", failure.empty() ? "" : "任务表的修改没有保存：" + failure);
    });
    runtime_.bellLog().SetProblemListener([this](const std::string& problem) { warnings_.Set("bell-log", problem); });
    runtime_.OnJobFired([this](const std::string& name, const std::string& path) { player_->NameJob(name, path); });
    runtime_.SetWarnings(&warnings_);
    selfCheck_ = std::make_unique<SelfCheckRunner>(
        appFolder_ / kDefaultGroup, runtime_.clock(), std::make_unique<GstMediaProbe>(),
        [this](const std::vector<MusicProblem>& problems) { ReportProblems(problems); });
    calendar_ = std::make_unique<CalendarKeeper>(appFolder_, runtime_.clock(), warnings_);
    runtime_.scheduler().SetDayPlanner([this](const CalendarDate& date) { return calendar_->PlanFor(date); });
    selfCheck_->SetTodaysSource([this] {
        const PlanOfDay plan = calendar_->PlanFor(runtime_.clock().Now().date);
        return std::make_pair(plan.source, plan.rule.songWeekday);
    });
    calendar_->SetHooks({[this] {
                             runtime_.scheduler().BuildScheduleIndex();
                             selfCheck_->Request();
                         },
                         [this](const std::string& plan, const std::string& changes) {
                             if (form4_) form4_->ShowPlanLine(plan);
                             if (shell_) shell_->ShowPlan(plan, changes);
                         }});
    // Before the scheduler starts: a bell found by name must not wait for a walk of the disk.
    musicNames_ = std::make_unique<MusicNamesWatcher>(MusicFolder(appFolder_), [this] { selfCheck_->Request(); });
    if (windows_) {
        BuildWindows();
        warnings_.SetListener([this](const std::string& text) { shell_->ShowProblems(text); });
    } else {
        dialogs_ = std::make_unique<LogDialogs>();
    }
    clockSync_ = std::make_unique<ClockSyncWatch>(warnings_);
}

Program::~Program() {
    player_->SetListener(nullptr);  // the bus service goes before the windows that may still stop the player
    // A bell still proving its sound when the program ends: what was measured so far goes to its line.
    player_->Stop();
    QCoreApplication::processEvents();
}

void Program::BuildWindows() {
    dialogs_ = std::make_unique<QtDialogs>();
    form4_ = std::make_unique<Form4>(Form4::Services{jilu_, *dialogs_, *player_, [this](const JobRecord& r) {
                                                         std::string path = runtime_.scheduler().PickJobMusic(r);
                                                         player_->NameJob(std::string(Trim(r.JobName)),
                                                                          path);  // only the run-job command asks
                                                         return path;
                                                     }});
    const PlayerCommands commands{[this] { PlayCommand(*player_); }, [this] { PauseCommand(*player_); },
                                  [this] { StopSequence(*player_, nullMedia_); }};
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

    today_ = std::make_unique<TodayCommands>(
        CalendarServices{appFolder_, *dialogs_, runtime_.clock(), [this] { calendar_->Reload(); }});
    // In 任务(J) before the timed shutdown's group; in the clock's menu before quitting.
    if (auto* job = form4_->findChild<QMenu*>(QStringLiteral("job"))) {
        const auto actions = job->actions();
        const auto shuttime = std::find_if(actions.begin(), actions.end(), [](const QAction* a) {
            return a->objectName() == QStringLiteral("shuttime");
        });
        today_->AddTo(job, shuttime != actions.begin() && shuttime != actions.end() ? *(shuttime - 1) : nullptr);
    }
    today_->AddTo(shell_->clockMenu()->wenjian(), shell_->clockMenu()->findChild<QAction*>(QStringLiteral("bbb")));

    confirm_ = std::make_unique<ShutdownConfirmHost>([this] { ShutdownSequence(); });
    runtime_.SetHooks(
        {[this](const std::string& time, const std::string& weekday) { shell_->ShowClock(time, weekday); },
         [this] { confirm_->ConfirmShutdown(); }});
}

bool Program::Start() {
    if (windows_) {
        if (!shell_->Start()) return false;
        warnings_.Set("instance-guard", shell_->unguarded());
    } else {
        headlessGuard_ = std::make_unique<FileInstanceGuard>(DefaultGuardPath());
        std::string unguarded;
        if (CheckSingleInstance(*headlessGuard_, *dialogs_, &unguarded) == InstanceCheck::EndProgram) return false;
        warnings_.Set("instance-guard", unguarded);
        PrepareNullMediaFile(appFolder_);
    }
    // The calendar first: the scheduler's first index is built from today's plan.
    calendar_->Start();
    // The scheduler starts with the program, not when the splash hands over to the clock: a PC that starts a
    // few seconds before a bell still rings it.
    runtime_.Start();
    IndexRebuilt();
    warnings_.Set("shutdown-settings", runtime_.shutdownSettingsProblem());
    warnings_.Set("folder-permissions", FolderPermissionWarning(appFolder_));
    selfCheck_->Request();
    soundOutput_.Check();
    StartMpris();
    clockSync_->Start();
    if (const std::string notice = NoX11Notice(); windows_ && !notice.empty()) {
        // Once, as soon as the event loop runs; the splash is up by then.
        QTimer::singleShot(0, shell_.get(), [this, notice] {
            dialogs_->Message({notice, "提示", MessageIcon::Information, MessageButtons::Ok, 0});
        });
    }
    return true;
}

void Program::IndexRebuilt() {
    const std::string& problem = runtime_.scheduler().timetableProblem();
    warnings_.Set("timetable", problem);
    // Only a timetable that could not be read at all is read again; an oversized one rings its first part.
    if (problem.empty() || runtime_.scheduler().dueCount() > 0) {
        timetableRetry_.stop();
    } else if (!timetableRetry_.isActive()) {
        timetableRetry_.start(60000);
    }
}

void Program::StartMpris() {
    MprisService::Commands commands{[this] { PlayCommand(*player_); }, [this] { PauseCommand(*player_); },
                                    [this] { StopSequence(*player_, nullMedia_); }, nullptr};
    if (windows_) commands.raise = [this] { ShowMainWindow(); };
    mpris_ = std::make_unique<MprisService>(std::move(commands));
    QString why;
    if (!mpris_->Register(&why)) {
        LogLine("media controls (MPRIS) off: " + why.toStdString());
        return;
    }
    player_->SetListener([this](const NowPlaying& now) { mpris_->Update(now); });
    mpris_->Update(player_->now());
}

void Program::ShowMainWindow() { lingchao::ShowMainWindow(form4_.get()); }

void Program::OpenShutdownSettings() {
    ShutdownSettingsDialog dialog(
        appFolder_, *dialogs_,
        [this](const ShutdownSettings& s) {
            runtime_.scheduler().SetShutdownSettings(s);
            warnings_.Clear("shutdown-settings");  // just written whole
        },
        [this] { confirm_->ConfirmShutdown(); }, form4_.get());
    dialog.exec();
}

void Program::OpenMusicLists() {
    Form5 editor(MusicFolder(appFolder_), *player_, *dialogs_, form4_.get());
    editor.exec();
}

void Program::OpenAbout() {
    AboutBox box(*dialogs_, sysInfo_, form4_.get());
    box.exec();
}

void Program::ReportProblems(const std::vector<MusicProblem>& problems) {
    bool faults = false;
    for (const auto& p : problems) {
        const std::string job = "self-check: job " + std::to_string(p.jobNo) + " \"" + p.jobName + "\" ";
        if (p.IsNote()) {
            LogLine(job + "plays \"" + p.path + "\" as \"" + p.foundAs + "\" (found by name" +
                    (p.sameNames > 1 ? ", the first of " + std::to_string(p.sameNames) + " files of that name" : "") +
                    ")");
            continue;
        }
        faults = true;
        LogLine(job + "cannot play \"" + p.path + "\": " + p.reason);
    }
    if (!faults && problemsReported_) LogLine("self-check: every bell of today can play again");
    problemsReported_ = faults;
    warnings_.Set("self-check", ProblemsText(problems), true);
    const std::string found = FoundByNameText(problems);
    warnings_.Set("found-by-name", found, true);
    if (shell_) shell_->OfferTidy(!found.empty());
    soundOutput_.Check();  // the output is part of every self-check
}

void Program::SoundOutputRead(const SoundOutputState& state) {
    runtime_.SoundOutputRead(state);
    const std::string output = state.server
                                   ? (state.sinkName.empty() ? "no default sink"
                                                             : SoundOutputText(state) + " (" + state.description + ")" +
                                                                   (state.portUnavailable ? " unplugged" : ""))
                                   : "no sound server";
    if (output != soundOutputLogged_) LogLine("sound output: " + output);
    soundOutputLogged_ = output;
    warnings_.Set("sound-output", SoundOutputWarning(state));
}

void Program::OpenTidy() {
    RunTidyCommand({appFolder_, *dialogs_, [this] { return musicNames_->RescanNow(); },
                    [this] { jilu_.LoadJobTable(kDefaultGroup); }, nullptr},
                   form4_ && form4_->isVisible() ? form4_.get() : nullptr);
}

void Program::OpenImport() {
    RunImportCommand({appFolder_, *dialogs_, [this] { return musicNames_->RescanNow(); },
                      [this] { jilu_.LoadJobTable(kDefaultGroup); },
                      [this] { runtime_.scheduler().SetShutdownSettings(LoadShutdownSettings(appFolder_)); }},
                     form4_ && form4_->isVisible() ? form4_.get() : nullptr);
}

void Program::ShutdownSequence() {
    ShutdownHooks hooks;
    hooks.releaseGuard = [this] { shell_->guard().Release(); };
    hooks.removeHotkeys = [this] { shell_->RemoveHotkeys(); };
    hooks.installHotkeys = [this] { shell_->InstallHotkeys(); };
    hooks.reacquireGuard = [this] { shell_->guard().Reacquire(); };
    hooks.endProgram = [] { QCoreApplication::exit(0); };
    RunShutdownSequence(requester_, *dialogs_, hooks);
}

}  // namespace lingchao
