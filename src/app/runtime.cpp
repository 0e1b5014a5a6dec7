#include "app/runtime.h"

#include "base/log.h"
#include "player/media_path.h"

namespace lingchao {

Runtime::Runtime(std::filesystem::path appFolder, MediaPlayer& player)
    : appFolder_(std::move(appFolder)),
      checktime_(appFolder_, clock_, player, *this),
      bellLog_(appFolder_),
      ticker_([this] { OnTick(); }) {
    fireLockTimer_.setSingleShot(true);
    fireLockTimer_.setInterval(60000);
    connect(&fireLockTimer_, &QTimer::timeout, this, [this] { checktime_.FireLockElapsed(); });
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
    LookAhead();
}

// A few seconds before a bell: is the output fit to be heard?
void Runtime::LookAhead() {
    const LocalDateTime ahead = AddSeconds(clock_.Now(), kLeadSeconds);
    const std::optional<UpcomingBell> bell = checktime_.BellAt(ahead);
    const std::string key = bell ? std::to_string(ahead.MinuteIndex()) + " " + std::to_string(bell->jobNo) : "";
    if (key == lookedAhead_) return;
    lookedAhead_ = key;
    if (bell && soundOutput_ != nullptr) soundOutput_->Check();
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

void Runtime::JobExamined(const JobExamination& examination) {
    JobExamination e = examination;
    if (e.outcome == JobOutcome::Fired) e.path = PathForBellLog(e.path);
    const bool otherDay = !(e.date == CalendarDate{}) && !(e.date == e.at.date);
    LogLine(StampText(e.at) + " job " + std::to_string(e.jobNo) + " \"" + e.name + "\" set " +
            (otherDay ? DateText(e.date) + " " : "") + HourMinuteText(e.setTime) + " state " + e.state + " path \"" +
            e.path + "\": " + OutcomeText(e));
    bellLog_.Examined(e);
    if (e.outcome == JobOutcome::Fired && fired_) fired_(e.name, e.path);
}

void Runtime::BellsLeftChanged(const BellsLeft& left) {
    if (left.count > 0) {
        inhibitor_.Hold(BellsLeftText(left));
    } else {
        inhibitor_.Release();
    }
}

void Runtime::ClockJumped(const LocalDateTime& from, const LocalDateTime& to) {
    const bool back = to.MillisecondIndex() < from.MillisecondIndex();
    LogLine(StampText(to) + " clock " + (back ? "went back" : "jumped") + " from " + StampText(from) +
            (back ? ": jobs already dealt with today do not ring again" : ": skipped minutes are not rung late"));
}

}  // namespace lingchao
