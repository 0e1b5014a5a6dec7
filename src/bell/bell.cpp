#include "bell/bell.h"

#include <QCoreApplication>
#include <QPointer>
#include <set>

#include "base/file_util.h"
#include "base/log.h"
#include "base/text.h"
#include "bell/tones.h"
#include "player/player_commands.h"
#include "scheduler/self_check.h"
#include "store/jilu.h"
#include "store/timeparse.h"

namespace lingchao {

Bell::Bell(Parts parts, Outlets outlets)
    : appFolder_(std::move(parts.appFolder)),
      nullMedia_(NullMediaPath(appFolder_)),
      outlets_(std::move(outlets)),
      warnings_(*parts.warnings),
      clock_(std::move(parts.clock)),
      inhibitor_(std::move(parts.inhibitor)),
      soundOutput_(std::move(parts.soundOutput)),
      volume_(std::move(parts.volume)) {
    std::unique_ptr<MediaPlayer> player = parts.makePlayer([this](const std::string& path, const std::string& why) {
        runtime_->PlaybackFailed(path, why);
        watch_->PlaybackFailed(path);
    });
    watch_ = std::make_unique<PlaybackWatch>(std::move(player), nullMedia_);
    ConnectEndOfStream(*watch_, nullMedia_);
    runtime_ = std::make_unique<Runtime>(appFolder_, *watch_, *clock_, *inhibitor_);
    runtime_->bellLog().SetProblemListener([this](const std::string& problem) { warnings_.Set("bell-log", problem); });
    runtime_->OnJobFired([this](const std::string& name, const std::string& path) { watch_->NameJob(name, path); });
    runtime_->SetWarnings(&warnings_);
    Runtime::Hooks hooks;
    if (outlets_.showClock) {
        hooks.showClock = [this](const std::string& time, const std::string& weekday) {
            if (time + " " + weekday == clockShown_) return;
            clockShown_ = time + " " + weekday;
            outlets_.showClock(time, weekday);
        };
    }
    hooks.confirmShutdown = outlets_.confirmShutdown;
    hooks.indexReread = [this] {
        IndexRebuilt();
        selfCheck_->Request();
        calendar_->Refresh();
    };
    hooks.afterTick = [this] {
        calendar_->Watch();
        WatchWarnedFiles();
        // Causes that mend unseen (a clock that syncs) are looked at by their sources' re-checks, only while up.
        if (const auto now = std::chrono::steady_clock::now(); now - rechecked_ >= Runtime::kRecheckEvery) {
            rechecked_ = now;
            warnings_.RecheckUp();
        }
    };
    runtime_->SetHooks(std::move(hooks));
    if (soundOutput_) {
        soundOutput_->SetListener([this](const SoundOutputState& state) { SoundOutputRead(state); });
        runtime_->SetSoundOutput(soundOutput_.get());
    }
    if (outlets_.nowPlaying) watch_->SetListener(outlets_.nowPlaying);

    selfCheck_ = std::make_unique<SelfCheckRunner>(
        appFolder_ / kDefaultGroup, *clock_, std::move(parts.probe),
        [this](const std::vector<MusicProblem>& problems) { ReportProblems(problems); });
    calendar_ = std::make_unique<CalendarKeeper>(appFolder_, *clock_, warnings_);
    runtime_->scheduler().SetDayPlanner([this](const CalendarDate& date) { return calendar_->PlanFor(date); });
    selfCheck_->SetTodaysSource([this] {
        const PlanOfDay plan = calendar_->PlanFor(clock_->Now().date);
        return std::make_pair(plan.source, plan.rule.songWeekday);
    });
    calendar_->SetHooks({[this] { Replan(); }, outlets_.showPlan});

    SignalRunner::Parts signalParts;
    signalParts.makePlayer = [this, make = parts.makePlayer] {
        return make([this](const std::string& path, const std::string& why) { signal_->SoundFailed(path, why); });
    };
    signalParts.soundFile = [this](const std::string& sound, std::string* why) { return SignalSoundFile(sound, why); };
    signalParts.volume = volume_.get();
    signalParts.appFolder = appFolder_;
    signalParts.clock = clock_.get();
    signalParts.log = &runtime_->bellLog();
    signalParts.warnings = &warnings_;
    signalParts.hold = [this](const std::string& reason) {
        // Whatever plays stops at once; the bells due meanwhile are held, not rung afterwards.
        if (!reason.empty()) {
            StopSequence(*watch_, nullMedia_);
            if (soundOutput_) soundOutput_->Check();  // a missing server or a muted output is on the clock at once
        }
        runtime_->scheduler().Hold(reason);
    };
    signalParts.publish = outlets_.signalState;
    signal_ = std::make_unique<SignalRunner>(std::move(signalParts));
}

void Bell::SetStandby(const std::string& forPc) {
    if (forPc == standbyFor_) return;
    standbyFor_ = forPc;
    takenOver_ = false;
    if (!forPc.empty()) LogLine("standby for " + forPc + ": its bells are rung there while it is up");
    runtime_->scheduler().SetStandby(forPc, false);
    warnings_.Clear("standby");
}

void Bell::TakeOver(bool active) {
    if (standbyFor_.empty() || active == takenOver_) return;
    takenOver_ = active;
    LogLine(active ? "standby: " + standbyFor_ + " is offline, its bells ring here"
                   : "standby: " + standbyFor_ + " is back, its bells ring there again");
    runtime_->scheduler().SetStandby(standbyFor_, active);
    warnings_.Set("standby", active ? standbyFor_ + " 已离线，本机正在代替它响铃" : "");
}

void Bell::PeerRang(const CalendarDate& date, const std::string& hourMinute) {
    const std::optional<TimeOfDay> time = ParseTimeOfDay(hourMinute);
    if (!time) return;
    runtime_->scheduler().PeerRang(MakeLocalDateTime(date, *time).MinuteIndex());
}

Bell::~Bell() {
    Cancel();
    signal_.reset();
    watch_->SetListener(nullptr);
    // A bell still proving its sound when the program ends: what was measured so far goes to its line.
    watch_->Stop();
    QCoreApplication::processEvents();
}

void Bell::Start() {
    // A signal cut short by a crash gives the user's volume back first.
    signal_->RecoverAfterCrash();
    // The shipped plans as a file the school can edit, written once.
    if (const auto drills = appFolder_ / kDrillsFile;
        !std::filesystem::exists(drills) && !std::filesystem::is_symlink(drills)) {
        std::string failure;
        if (!WriteDrills(drills, DefaultDrillSignals(), &failure))
            LogLine("cannot write " + drills.string() + ": " + failure);
    }
    SignalPlans();
    // The calendar first: the scheduler's first index is built from today's plan.
    calendar_->Start();
    if (!warnings_.TextOf("tomorrow").empty()) LookUpTomorrow();
    runtime_->Start();
    IndexRebuilt();
    warnings_.Set("shutdown-settings", runtime_->shutdownSettingsProblem());
    if (!runtime_->shutdownSettingsProblem().empty()) shutdownStamp_ = FileStamp(appFolder_ / kShutdownFile);
    selfCheck_->Request();
    if (soundOutput_) soundOutput_->Check();
}

void Bell::Cancel() { selfCheck_->Cancel(); }

void Bell::TimetableSaved() {
    runtime_->scheduler().BuildScheduleIndex();
    // Saved by a window, or taken from the campus: the log shows what the bell now holds.
    LogLine("timetable read again: " + std::to_string(runtime_->scheduler().dueCount()) + " job(s) scheduled");
    IndexRebuilt();
    // Every change of the group: a missing bell file shows the morning it is copied wrong.
    selfCheck_->Request();
    calendar_->Refresh();
}

void Bell::CalendarChanged() { calendar_->Reload(); }

void Bell::SetShutdownSettings(const ShutdownSettings& settings) {
    runtime_->scheduler().SetShutdownSettings(settings);
    warnings_.Clear("shutdown-settings");  // just written whole
    shutdownStamp_.clear();
}

void Bell::WatchWarnedFiles() {
    // exit.dll mended from outside (its permissions, a copy put back): read it as the start would have.
    if (!shutdownStamp_.empty()) {
        const std::filesystem::path file = appFolder_ / kShutdownFile;
        if (const std::string stamp = FileStamp(file); stamp != shutdownStamp_) {
            shutdownStamp_ = stamp;
            std::string problem;
            const ShutdownSettings settings = LoadShutdownSettings(appFolder_, &problem);
            if (problem.empty()) {
                LogLine(file.string() + " can be read again");
                SetShutdownSettings(settings);
            } else {
                warnings_.Set("shutdown-settings", problem);
            }
        }
    }
    // Tomorrow's group put back or mended: the calendar's eve warning is told again at once, not at the minute.
    if (warnings_.TextOf("tomorrow").empty()) {
        tomorrowMinute_ = -1;
    } else if (clock_->Now().MinuteIndex() != tomorrowMinute_) {
        LookUpTomorrow();
    } else if (const std::string stamp = FileStamp(tomorrowSource_); stamp != tomorrowStamp_) {
        tomorrowStamp_ = stamp;
        calendar_->Refresh();
    }
}

// Right after the calendar told of tomorrow (at start, at the minute): the file as its warning saw it.
void Bell::LookUpTomorrow() {
    const LocalDateTime now = clock_->Now();
    tomorrowMinute_ = now.MinuteIndex();
    tomorrowSource_ = calendar_->PlanFor(NextDate(now.date)).source;
    tomorrowStamp_ = FileStamp(tomorrowSource_);
}

void Bell::MusicFolderChanged() { selfCheck_->Request(); }

void Bell::PlayCommand() {
    if (signal_->running()) {
        LogLine("play refused: " + signal_->state().signal + " is sounding");
        return;
    }
    lingchao::PlayCommand(*watch_);
}

std::vector<DrillSignal> Bell::SignalPlans() {
    const DrillsRead read = ReadDrills(appFolder_ / kDrillsFile);
    // A damaged line costs the plan it belongs to: on the clock until the file is mended.
    std::string text;
    for (const DrillProblem& p : read.problems) {
        text += std::string(text.empty() ? "" : "\n") + kDrillsFile +
                (p.line > 0 ? " 第 " + std::to_string(p.line) + " 行：" : "：") + p.why;
    }
    warnings_.Set("drills", CapLines(text, kShownProblemLines));
    warnings_.SetRecheck(
        "drills", text.empty() ? WarningBoard::Recheck{} : [bell = QPointer<Bell>(this)] {
            if (bell) bell->SignalPlans();
        });
    return read.present ? read.plans : DefaultDrillSignals();
}

std::string Bell::StartSignal(const std::string& name, const std::string& origin) {
    for (const DrillSignal& plan : SignalPlans()) {
        if (plan.name == name) return signal_->Start(plan, origin);
    }
    const std::string problem = warnings_.TextOf("drills");
    return "没有名为「" + name + "」的预案" + (problem.empty() ? "" : "（" + problem + "）");
}

void Bell::FollowSignal(const SignalState& main, const std::string& from) {
    const auto catchUp = [&] {
        // A main further on: its steps that wait for 下一步 are passed here too.
        while (FollowOf(main, signal_->state(), followed_) == SignalFollow::Next && signal_->Next().empty()) {
        }
    };
    switch (FollowOf(main, signal_->state(), followed_)) {
        case SignalFollow::Start:
            if (const std::string why = StartSignal(main.signal, "campus " + from); !why.empty()) {
                LogLine("campus: " + from + "'s signal " + main.signal + " not sounded here: " + why);
                break;
            }
            followed_ = main.signal;
            catchUp();
            break;
        case SignalFollow::Next:
            catchUp();
            break;
        case SignalFollow::End:
            signal_->End();
            break;
        case SignalFollow::Busy:
            if (busyLogged_ != main.signal) {
                LogLine("campus: " + from + "'s signal " + main.signal + " not followed: " + signal_->state().signal +
                        " sounds here");
            }
            busyLogged_ = main.signal;
            break;
        case SignalFollow::Nothing:
            break;
    }
    if (!main.running) {
        followed_.clear();
        busyLogged_.clear();
    }
}

std::string Bell::SignalSoundFile(const std::string& sound, std::string* why) const {
    if (sound.starts_with(kTonePrefix)) {
        // Written out where the player can open it: the session's runtime folder, else the application folder.
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const std::filesystem::path folder =
            runtime.isEmpty() ? appFolder_ / "tones" : std::filesystem::path(runtime.toStdString()) / "lingchao-tones";
        return ToneFile(std::string_view(sound).substr(kTonePrefix.size()), folder, why);
    }
    const std::filesystem::path file = MusicFolder(appFolder_) / sound;
    if (!FileLength(file)) {
        *why = "音乐文件夹里没有这个文件：" + sound;
        return {};
    }
    return file.string();
}
void Bell::PauseCommand() { lingchao::PauseCommand(*watch_); }
void Bell::StopCommand() { StopSequence(*watch_, nullMedia_); }

void Bell::Replan() {
    runtime_->scheduler().BuildScheduleIndex();
    IndexRebuilt();
    selfCheck_->Request();
}

void Bell::IndexRebuilt() { warnings_.Set("timetable", runtime_->scheduler().timetableProblem()); }

void Bell::ReportProblems(const std::vector<MusicProblem>& problems) {
    // Every pass reports all it found; the log gets each finding once, when it first appears, and only the first
    // few of a pass that brings many (the clock's tooltip lists them all, capped).
    std::set<std::string> lines;
    bool faults = false;
    for (const auto& p : problems) {
        const std::string job = "self-check: job " + std::to_string(p.jobNo) + " \"" + p.jobName + "\" ";
        if (p.IsNote()) {
            lines.insert(
                job + "plays \"" + p.path + "\" as \"" + p.foundAs + "\" (found by name" +
                (p.sameNames > 1 ? ", the first of " + std::to_string(p.sameNames) + " files of that name" : "") + ")");
            continue;
        }
        faults = true;
        lines.insert(job + "cannot play \"" + p.path + "\": " + p.reason);
    }
    std::size_t fresh = 0;
    for (const std::string& line : lines) {
        if (problemsLogged_.count(line) != 0) continue;
        if (++fresh <= kShownProblemLines) LogLine(line);
    }
    if (fresh > kShownProblemLines) {
        LogLine("self-check: and " + std::to_string(fresh - kShownProblemLines) + " more finding(s) like these");
    }
    problemsLogged_ = std::move(lines);
    if (!faults && problemsReported_) LogLine("self-check: every bell of today can play again");
    problemsReported_ = faults;
    warnings_.Set("self-check", ProblemsText(problems), true);
    const std::string found = FoundByNameText(problems);
    warnings_.Set("found-by-name", found, true);
    if (outlets_.offerTidy) outlets_.offerTidy(!found.empty());
    if (soundOutput_) soundOutput_->Check();  // the output is part of every self-check
}

void Bell::SoundOutputRead(const SoundOutputState& state) {
    runtime_->SoundOutputRead(state);
    const std::string output = state.server
                                   ? (state.sinkName.empty() ? "no default sink"
                                                             : SoundOutputText(state) + " (" + state.description + ")" +
                                                                   (state.portUnavailable ? " unplugged" : ""))
                                   : "no sound server";
    if (output != soundOutputLogged_) LogLine("sound output: " + output);
    soundOutputLogged_ = output;
    warnings_.Set("sound-output", SoundOutputWarning(state));
}

}  // namespace lingchao
