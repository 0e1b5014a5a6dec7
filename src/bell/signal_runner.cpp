#include "bell/signal_runner.h"

#include <atomic>
#include <cstdio>

#include "base/file_util.h"
#include "base/log.h"

namespace lingchao {
namespace {

std::string Duration(std::chrono::milliseconds elapsed) {
    const long long s = elapsed.count() / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string Percent(const SavedVolume& v) {
    std::uint64_t loudest = 0;
    for (std::uint32_t c : v.channels) loudest = std::max<std::uint64_t>(loudest, c);
    return std::to_string((loudest * 100 + 32768) / 65536) + "%" + (v.muted ? " muted" : "");
}

bool WriteNote(const std::filesystem::path& file, const std::string& text) {
    std::string failure;
    if (ReplaceFileAtomically(file, Bytes(text.begin(), text.end()), &failure)) return true;
    LogLine("signal: cannot write " + file.string() + ": " + failure);
    return false;
}

std::string ReadNote(const std::filesystem::path& file) {
    const StoredFile read = ReadStoredFile(file, 4096);
    return read.usable() ? std::string(read.bytes.begin(), read.bytes.end()) : std::string();
}

}  // namespace

SignalRunner::SignalRunner(Parts parts) : parts_(std::move(parts)) {
    for (QTimer* timer : {&soundTimer_, &stepTimer_, &prepareTimer_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&soundTimer_, &QTimer::timeout, this, [this] { on_ ? SoundOff() : SoundOn(); });
    connect(&stepTimer_, &QTimer::timeout, this, [this] { Advance(); });
    connect(&prepareTimer_, &QTimer::timeout, this, [this] {
        if (const std::optional<std::size_t> next = NextStep()) {
            nextPrepared_ = true;
            player_->Prepare(files_[*next]);
        }
    });
}

SignalRunner::~SignalRunner() {
    // The program is ending: the notes stay, so that the next start puts the volume back if nobody answers now.
    if (running()) Finish("the program ended");
    if (player_) player_->SetEndOfStreamHandler(nullptr);
}

std::chrono::milliseconds SignalRunner::Since(Steady::time_point from) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - from);
}

void SignalRunner::AtTime(QTimer& timer, Steady::time_point when) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(when - Steady::now());
    timer.start(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

void SignalRunner::Log(const std::string& sound, const std::string& outcome) {
    if (parts_.log != nullptr) parts_.log->Signal(parts_.clock->Now(), signal_.name, sound, outcome);
    LogLine("signal " + signal_.name + ": " + outcome);
}

void SignalRunner::Problem(const std::string& problem) {
    state_.problem = problem;
    if (parts_.warnings != nullptr) parts_.warnings->Set("signal", problem);
    Publish();
}

void SignalRunner::Publish() {
    if (parts_.publish) parts_.publish(state_);
}

void SignalRunner::RecoverAfterCrash() {
    const auto running = parts_.appFolder / kRunningFile;
    if (std::filesystem::exists(running)) {
        const std::string note = ReadNote(running);
        signal_.name = note.substr(0, note.find('\n'));
        Log("", "signal-end: ended abnormally (the program stopped while it sounded)");
        signal_ = {};
        std::error_code ignored;
        std::filesystem::remove(running, ignored);
    }
    const auto volumeFile = parts_.appFolder / kVolumeFile;
    if (!std::filesystem::exists(volumeFile)) return;
    const std::optional<SavedVolume> saved = DecodeSavedVolume(ReadNote(volumeFile));
    if (!saved || parts_.volume == nullptr) {
        LogLine("signal: " + volumeFile.string() + " cannot be used; the volume is left as it is");
        std::error_code ignored;
        std::filesystem::remove(volumeFile, ignored);
        return;
    }
    parts_.volume->Restore(*saved, [volumeFile, saved](const std::string& why) {
        if (!why.empty()) {
            LogLine("signal: the volume raised before the program stopped could not be put back: " + why);
            return;  // the note stays: the next start tries again
        }
        LogLine("signal: the volume raised before the program stopped is back at " + Percent(*saved));
        std::error_code ignored;
        std::filesystem::remove(volumeFile, ignored);
    });
}

std::string SignalRunner::Start(const DrillSignal& signal, const std::string& origin) {
    if (running()) return "「" + state_.signal + "」正在进行，请先结束它";
    if (signal.steps.empty() || signal.steps.front().advance.afterEnd) return "预案「" + signal.name + "」没有步骤";
    std::vector<std::string> files;
    for (const DrillStep& step : signal.steps) {
        std::string why;
        files.push_back(parts_.soundFile(step.sound, &why));
        if (files.back().empty()) return "预案「" + signal.name + "」的声音" + step.sound + "无法使用：" + why;
    }
    if (!player_) {
        player_ = parts_.makePlayer();
        player_->SetEndOfStreamHandler([this] { SoundEnded(); });
    }
    signal_ = signal;
    files_ = std::move(files);
    origin_ = origin;
    state_ = {};
    state_.running = true;
    state_.signal = signal.name;
    state_.kind = signal.kind;
    state_.started = Steady::now();
    for (const DrillStep& step : signal.steps) state_.steps += step.advance.afterEnd ? 0 : 1;
    endPressed_.reset();
    endedByOperator_ = false;
    WriteNote(parts_.appFolder / kRunningFile, signal.name + "\n" + StampText(parts_.clock->Now()) + "\n");
    if (parts_.hold) parts_.hold(std::string(DrillKindText(signal.kind)) + " " + signal.name);
    Log("", std::string("signal-start: ") + DrillKindText(signal.kind) + " (" + origin + ")");
    if (signal.raiseVolume && parts_.volume != nullptr) RaiseVolume();
    EnterStep(0);
    return {};
}

void SignalRunner::RaiseVolume() {
    const std::string name = signal_.name;
    const std::filesystem::path note = parts_.appFolder / kVolumeFile;
    // Written on libpulse's thread before the raise, not when its answer comes: a program killed in between
    // still gives the user's volume back at its next start.
    auto noted = std::make_shared<std::atomic<bool>>(false);
    auto noteBefore = [note, noted](const SavedVolume& before) {
        if (WriteNote(note, EncodeSavedVolume(before))) noted->store(true);
    };
    parts_.volume->RaiseToFull(noteBefore, [this, alive = std::weak_ptr<int>(alive_), name, note, noted](
                                               std::optional<SavedVolume> before, const std::string& why) {
        if (alive.expired()) return;  // gone meanwhile: the note puts the user's volume back at the next start
        if (!before) {
            // Not raised, or put back half way by the control itself: a note left would undo a later change.
            std::error_code ignored;
            if (noted->load()) std::filesystem::remove(note, ignored);
            if (running() && state_.signal == name) Problem("无法提高音量：" + why);
            Log("", "signal-volume: not raised: " + why);
            return;
        }
        if (!noted->load()) WriteNote(note, EncodeSavedVolume(*before));  // a control that did not note it first
        Log("", "signal-volume: raised to 100% from " + Percent(*before));
        saved_ = before;
        if (!running() || state_.signal != name) RestoreVolume();  // ended before the answer came
    });
}

void SignalRunner::RestoreVolume() {
    if (!saved_ || parts_.volume == nullptr) return;
    const SavedVolume saved = *saved_;
    saved_.reset();
    parts_.volume->Restore(saved, [this, alive = std::weak_ptr<int>(alive_), saved](const std::string& why) {
        if (alive.expired()) return;  // the note stays: the next start puts it back again, which does no harm
        if (!why.empty()) {
            Log("", "signal-volume: not put back: " + why);
            if (parts_.warnings != nullptr) parts_.warnings->Set("signal", "音量没有恢复：" + why);
            return;
        }
        Log("", "signal-volume: put back to " + Percent(saved));
        std::error_code ignored;
        std::filesystem::remove(parts_.appFolder / kVolumeFile, ignored);
    });
}

void SignalRunner::EnterStep(std::size_t index) {
    index_ = index;
    const DrillStep& step = signal_.steps[index];
    stepStart_ = Steady::now();
    soundings_ = 0;
    file_ = files_[index];
    state_.label = step.label.empty() ? signal_.name : step.label;
    if (!step.advance.afterEnd) state_.step = static_cast<int>(index) + 1;
    state_.waitsForNext = step.advance.onNext && !step.advance.afterEnd;
    Log(step.sound,
        (step.advance.afterEnd ? std::string("signal-end-step")
                               : "signal-step " + std::to_string(index + 1) + "/" + std::to_string(state_.steps)) +
            (step.label.empty() ? "" : ": " + step.label) + " at +" + Duration(Since(state_.started)));
    stepTimer_.stop();
    prepareTimer_.stop();
    nextPrepared_ = false;
    if (!step.advance.afterEnd && step.advance.afterMs) {
        const auto end = stepStart_ + std::chrono::milliseconds(*step.advance.afterMs);
        AtTime(stepTimer_, end);
        if (NextStep() && std::chrono::milliseconds(*step.advance.afterMs) > 2 * kPrepareLead) {
            AtTime(prepareTimer_, end - kPrepareLead);
        }
    }
    SoundOn();
    Publish();
}

void SignalRunner::SoundOn() {
    const DrillRepeat& repeat = signal_.steps[index_].repeat;
    on_ = true;
    soundingStart_ = repeat.onMs > 0 ? stepStart_ + std::chrono::milliseconds((repeat.onMs + repeat.offMs) * soundings_)
                                     : Steady::now();
    ++soundings_;
    SetSound();
    if (repeat.onMs > 0) AtTime(soundTimer_, soundingStart_ + std::chrono::milliseconds(repeat.onMs));
}

void SignalRunner::SoundEnded() {
    if (!running() || !on_) return;
    const DrillRepeat& repeat = signal_.steps[index_].repeat;
    if (repeat.onMs == 0) {
        SoundOff();
        return;
    }
    // A sound shorter than its time is sounded again; one that ends at once (it cannot be played) is not, or
    // it would be tried without pause until its time is up.
    // Nor is one whose time is nearly up: a few milliseconds of it would only click.
    if (Since(lastSet_) < std::chrono::milliseconds(300) ||
        soundingStart_ + std::chrono::milliseconds(repeat.onMs) - Steady::now() < std::chrono::milliseconds(300)) {
        return;
    }
    SetSound();
}

void SignalRunner::SetSound() {
    lastSet_ = Steady::now();
    player_->SetFileName(file_);
    // Setting a medium drops what was prepared. Near a timed step's end the next step's sound is opened again;
    // else this one, for its next sounding: a looping tone set again at its end then builds no pipeline (on a
    // busy machine a third of a second of silence in the middle of a long signal).
    const std::optional<std::size_t> next = NextStep();
    player_->Prepare(nextPrepared_ && next ? files_[*next] : file_);
}

// The step a timed end of this one leads to, as Advance goes on.
std::optional<std::size_t> SignalRunner::NextStep() const {
    const std::size_t next = index_ + 1;
    if (next < signal_.steps.size() && (state_.ending || !signal_.steps[next].advance.afterEnd)) return next;
    return std::nullopt;
}

void SignalRunner::SoundOff() {
    const DrillStep& step = signal_.steps[index_];
    if (step.repeat.onMs > 0) player_->Stop();
    on_ = false;
    if (step.repeat.loop || soundings_ < step.repeat.times) {
        if (step.repeat.onMs > 0) {
            AtTime(soundTimer_,
                   stepStart_ + std::chrono::milliseconds((step.repeat.onMs + step.repeat.offMs) * soundings_));
        } else {
            soundTimer_.start(static_cast<int>(step.repeat.offMs));
        }
        return;
    }
    if (step.advance.whenSoundEnds || step.advance.afterEnd) Advance();
}

void SignalRunner::Advance() {
    soundTimer_.stop();
    stepTimer_.stop();
    prepareTimer_.stop();
    player_->Stop();
    on_ = false;
    if (const std::optional<std::size_t> next = NextStep()) {
        EnterStep(*next);
        return;
    }
    if (state_.ending) {
        Finish(endedByOperator_ ? "结束" : "its steps are over");
        return;
    }
    BeginEnd();
}

void SignalRunner::BeginEnd() {
    if (!endPressed_) endPressed_ = Steady::now();
    state_.ending = true;
    state_.waitsForNext = false;
    soundTimer_.stop();
    stepTimer_.stop();
    prepareTimer_.stop();
    player_->Stop();
    on_ = false;
    for (std::size_t i = 0; i < signal_.steps.size(); ++i) {
        if (signal_.steps[i].advance.afterEnd) {
            EnterStep(i);
            return;
        }
    }
    Finish("结束");
}

std::string SignalRunner::Next() {
    if (!running()) return "没有正在进行的紧急信号或演练";
    if (!state_.waitsForNext) return state_.ending ? "正在解除" : "这一步不等下一步";
    Log("", "signal-next");
    Advance();
    return {};
}

std::string SignalRunner::End() {
    if (!running()) return "没有正在进行的紧急信号或演练";
    if (state_.ending) {
        Finish("结束 pressed again");
        return {};
    }
    endPressed_ = Steady::now();
    endedByOperator_ = true;
    BeginEnd();
    return {};
}

void SignalRunner::SoundFailed(const std::string& path, const std::string& reason) {
    if (!running()) return;
    Log(path, "signal-sound-failed: " + reason);
    Problem("「" + signal_.name + "」的声音无法播放：" + reason);
}

void SignalRunner::Finish(const std::string& how) {
    soundTimer_.stop();
    stepTimer_.stop();
    prepareTimer_.stop();
    player_->Stop();
    player_->Prepare("");  // no sound stream left open for a step that will not come
    on_ = false;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(endPressed_.value_or(Steady::now()) - state_.started);
    Log("", "signal-end: 用时 " + Duration(elapsed) + " (" + how + ")");
    state_.running = false;
    if (parts_.hold) parts_.hold("");
    RestoreVolume();
    std::error_code ignored;
    std::filesystem::remove(parts_.appFolder / kRunningFile, ignored);
    if (parts_.warnings != nullptr) parts_.warnings->Clear("signal");
    state_.problem.clear();
    Publish();
}

SignalFollow FollowOf(const SignalState& main, const SignalState& here, const std::string& followed) {
    const bool ours = here.running && !followed.empty() && here.signal == followed;
    if (main.running && !main.ending) {
        // Once followed, not started again: ended here already (its steps ran out a moment before the main's
        // did, or someone pressed 结束 on this PC).
        if (!here.running) return followed == main.signal ? SignalFollow::Nothing : SignalFollow::Start;
        if (!ours || here.signal != main.signal) return SignalFollow::Busy;
        // Only a step that waits for 下一步 is moved on: timed ones keep time here as they do there.
        return here.step < main.step && here.waitsForNext && !here.ending ? SignalFollow::Next : SignalFollow::Nothing;
    }
    return ours && !here.ending ? SignalFollow::End : SignalFollow::Nothing;
}

}  // namespace lingchao
