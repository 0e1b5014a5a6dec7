#include "bell/runtime.h"

#include <cmath>
#include <cstdio>

#include "base/log.h"
#include "music/media_path.h"

namespace lingchao {

Runtime::Runtime(std::filesystem::path appFolder, MediaPlayer& player, const Clock& clock, SleepInhibitor& inhibitor,
                 std::unique_ptr<WakeTimer> wake)
    : appFolder_(std::move(appFolder)),
      clock_(clock),
      inhibitor_(inhibitor),
      checktime_(appFolder_, clock_, player, *this),
      preparer_(checktime_, player, kLeadSeconds),
      bellLog_(appFolder_),
      ticker_([this] { OnTick(); }),
      wake_(wake ? std::move(wake) : std::make_unique<PreciseWake>()),
      player_(player) {
    // The wake's tick is a tick like any other: a second ticked twice rings and logs once.
    wake_->SetHandler([this] { OnWake(); });
    fireLockTimer_.setSingleShot(true);
    fireLockTimer_.setInterval(60000);
    connect(&fireLockTimer_, &QTimer::timeout, this, [this] { checktime_.FireLockElapsed(); });
    player.SetSoundProofHandler([this](const SoundProof& proof) { SoundProved(proof); });
    proofLimit_.setSingleShot(true);
    proofLimit_.setInterval(15000);
    connect(&proofLimit_, &QTimer::timeout, this, [this] {
        if (awaited_.empty()) return;
        Proved(awaited_.front(), {}, {"the player told nothing of its sound", "没有声音输出"}, OutputUnfit());
    });
}

void Runtime::Start() {
    checktime_.SetShutdownSettings(LoadShutdownSettings(appFolder_, &shutdownSettingsProblem_));
    checktime_.UpdateClock();
    checktime_.BuildScheduleIndex();
    LogLine("application folder " + appFolder_.string() + ", " + std::to_string(checktime_.dueCount()) +
            " job(s) scheduled");
    ticker_.Start();
}

void Runtime::OnTick() {
    tickSteady_ = std::chrono::steady_clock::now();
    checktime_.Tick();
    preparer_.AfterTick(clock_.Now());
    LookAhead();
    RecheckOutput();
    if (hooks_.afterTick) hooks_.afterTick();
}

void Runtime::CheckOutput() {
    outputAsked_ = std::chrono::steady_clock::now();
    soundOutput_->Check();
}

// The sound server tells its changes while it runs, but one that went away tells nothing when it comes back, so an
// unfit output is asked again from the tick: no timer of its own, and nothing at all while the output is fit.
void Runtime::RecheckOutput() {
    if (soundOutput_ == nullptr || !outputRead_) return;
    if (!OutputUnfit() && !silentByOutput_) return;
    if (std::chrono::steady_clock::now() - outputAsked_ < kRecheckEvery) return;
    CheckOutput();
}

bool Runtime::OutputUnfit() const { return outputRead_ && !SoundOutputWarning(outputState_).empty(); }

void Runtime::SoundOutputRead(const SoundOutputState& state) {
    outputState_ = state;
    outputRead_ = true;
    if (silentByOutput_ && SoundOutputWarning(state).empty()) {
        silentByOutput_ = false;
        if (warnings_ != nullptr) warnings_->Clear("silent-bell");
    }
}

// A few seconds before a bell: is the output fit to be heard?
void Runtime::LookAhead() {
    const LocalDateTime now = clock_.Now();
    const LocalDateTime ahead = AddSeconds(now, kLeadSeconds);
    const std::optional<UpcomingBell> bell = checktime_.BellAt(ahead);
    WakeAtMinute(now, bell && ahead.MinuteIndex() > now.MinuteIndex());
    const std::string key = bell ? std::to_string(ahead.MinuteIndex()) + " " + std::to_string(bell->jobNo) : "";
    if (key == lookedAhead_) return;
    lookedAhead_ = key;
    if (bell && soundOutput_ != nullptr) CheckOutput();
}

// The regular tick comes a few milliseconds into the minute; a prepared bell is started at the minute's instant
// instead. Armed anew at every tick while the bell is due, from the clock as it reads then, so a clock set
// meanwhile or a bell paused is followed within a second; a wake that still finds the old minute re-arms.
void Runtime::WakeAtMinute(const LocalDateTime& now, bool due) {
    if (!due) {
        wake_->Cancel();
        return;
    }
    const std::chrono::milliseconds toMinute(60000 - (now.time.second * 1000 + now.millisecond));
    startDue_ = startedMinute_ != now.MinuteIndex() + 1 && toMinute > kStartLead;
    wake_->Arm(startDue_ ? toMinute - kStartLead : toMinute + kWakeMargin);
}

// Ahead of the minute, the player is told the instant its bell is to sound (the clock's minute on the monotonic
// clock, as read now), then the wake is armed for the tick that rings it. A clock moved meanwhile gets a tick
// now, which arms the wake anew.
void Runtime::OnWake() {
    if (!startDue_) {
        OnTick();
        return;
    }
    startDue_ = false;
    checktime_.RereadIfChanged();  // a bell paused since the last tick is not started
    const LocalDateTime now = clock_.Now();
    const LocalDateTime ahead = AddSeconds(now, kLeadSeconds);
    const std::optional<UpcomingBell> bell =
        ahead.MinuteIndex() > now.MinuteIndex() ? checktime_.BellAt(ahead) : std::nullopt;
    if (!bell) {
        OnTick();
        return;
    }
    const std::chrono::milliseconds toMinute(60000 - (now.time.second * 1000 + now.millisecond));
    startedMinute_ = ahead.MinuteIndex();
    player_.StartPreparedAt(bell->path, std::chrono::steady_clock::now() + toMinute);
    wake_->Arm(toMinute + kWakeMargin);
}

void Runtime::ShowClock(const std::string& time, const std::string& weekdayCode) {
    if (hooks_.showClock) hooks_.showClock(time, weekdayCode);
}

void Runtime::StartFireLockTimer() { fireLockTimer_.start(); }

void Runtime::ConfirmShutdown() {
    if (hooks_.confirmShutdown) {
        hooks_.confirmShutdown();
        return;
    }
    // Nobody could refuse the countdown without a display: a school PC is never shut down unseen.
    if (!unconfirmedShutdownLogged_) {
        LogLine("shutdown time reached, but there is no display to confirm it: the computer stays on");
    }
    unconfirmedShutdownLogged_ = true;
}

void Runtime::PlaybackFailed(const std::string& path, const std::string& reason) {
    // A list's entries fail one by one while the list, the bell's medium, is still loaded.
    if (firing_) {
        failedWhileFiring_.emplace_back(path, reason);
        return;
    }
    const bool bells = playing_ && player_.FileName() == playing_->path;
    bellLog_.PlaybackFailed(clock_.Now(), path, reason, bells ? &*playing_ : nullptr);
}

void Runtime::JobExamined(const JobExamination& examination) {
    JobExamination e = examination;
    if (e.outcome == JobOutcome::Fired) e.path = PathForBellLog(e.path);
    const bool otherDay = !(e.date == CalendarDate{}) && !(e.date == e.at.date);
    LogLine(StampText(e.at) + " job " + std::to_string(e.jobNo) + " \"" + e.name + "\" set " +
            (otherDay ? DateText(e.date) + " " : "") + HourMinuteText(e.setTime) + " state " + e.state + " path \"" +
            e.path + "\": " + OutcomeText(e));
    if (e.outcome != JobOutcome::Fired) {
        bellLog_.Examined(e);
        return;
    }
    if (fired_) fired_(e.name, e.path);
    bellLog_.AwaitProof(e);
    firing_ = false;
    for (const auto& [path, reason] : failedWhileFiring_) PlaybackFailed(path, reason);
    failedWhileFiring_.clear();
    awaited_.push_back({tickSteady_, BellLog::LateOf(e), HourMinuteText(e.setTime) + " " + e.name});
    if (!proofLimit_.isActive()) proofLimit_.start();
}

void Runtime::SoundProved(const SoundProof& proof) {
    // Only media started by a bell's tick prove that bell; the user's own playing proves nothing.
    if (awaited_.empty() || proof.requested < awaited_.front().tick) return;
    const Awaited& bell = awaited_.front();
    const bool known = outputState_.server && !proof.output.empty() && outputState_.sinkName == proof.output;
    const SoundOutputState* output = known ? &outputState_ : nullptr;
    BellProof columns;
    if (proof.soundStart) {
        columns.soundMs =
            bell.lateMs + std::chrono::duration_cast<std::chrono::milliseconds>(*proof.soundStart - bell.tick).count();
    }
    if (proof.measuredSeconds > 0) columns.peakDbfs = proof.peakDbfs;
    columns.output = known ? SoundOutputText(outputState_) : proof.output;
    // The output is to blame when it was read unfit at the time, or when a medium that played went to no real
    // output or to a muted one; a file that does not play or plays nearly silent is the self-check's to tell.
    const bool outputToBlame =
        OutputUnfit() || (proof.problem.empty() &&
                          (!proof.realOutput || (output != nullptr && (output->muted || output->volumePercent == 0))));
    Proved(bell, columns, JudgeSilence(proof, output), outputToBlame);
}

void Runtime::Proved(const Awaited& bell, const BellProof& given, const Silence& silence, bool outputToBlame) {
    BellProof columns = given;
    columns.silentReason = silence.reason;
    char peak[32] = "none";
    if (columns.peakDbfs) std::snprintf(peak, sizeof peak, "%.1f dBFS", *columns.peakDbfs);
    LogLine("bell " + bell.name + ": sound at " +
            (columns.soundMs ? std::to_string(*columns.soundMs) + " ms" : "never") + ", peak " + peak + ", output " +
            (columns.output.empty() ? "none" : columns.output) +
            (silence.reason.empty() ? "" : "; silent: " + silence.reason));
    bellLog_.Proved(columns);
    // Mended by the next bell that is heard, or, when the output was to blame, by a fit reading of it.
    silentByOutput_ = !silence.reason.empty() && outputToBlame;
    if (warnings_ != nullptr) {
        warnings_->Set("silent-bell",
                       silence.reason.empty() ? "" : "铃声没有响：" + bell.name + "（" + silence.text + "）");
    }
    awaited_.pop_front();
    proofLimit_.stop();
    if (!awaited_.empty()) proofLimit_.start();
}

void Runtime::BellsLeftChanged(const BellsLeft& left) {
    if (left.count > 0) {
        inhibitor_.Hold(BellsLeftText(left));
    } else {
        inhibitor_.Release();
    }
}

void Runtime::IndexReread() {
    LogLine("timetable " + checktime_.dayPlan().source.string() +
            " changed on disk: " + std::to_string(checktime_.dueCount()) + " job(s) scheduled from it");
    if (hooks_.indexReread) hooks_.indexReread();
}

void Runtime::ClockJumped(const LocalDateTime& from, const LocalDateTime& to) {
    const bool back = to.MillisecondIndex() < from.MillisecondIndex();
    LogLine(StampText(to) + " clock " + (back ? "went back" : "jumped") + " from " + StampText(from) +
            (back ? ": jobs already dealt with today do not ring again" : ": skipped minutes are not rung late"));
}

}  // namespace lingchao
