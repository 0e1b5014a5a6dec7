#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/media_player.h"
#include "base/sleep_inhibitor.h"
#include "base/sound_output.h"
#include "base/warning_board.h"
#include "platform/aligned_ticker.h"
#include "platform/precise_wake.h"
#include "scheduler/bell_log.h"
#include "scheduler/bell_preparer.h"
#include "scheduler/checktime.h"

namespace lingchao {

// The scheduler with its timers (the aligned tick, the wake at a bell's minute and Timer2), its log and the bell
// log.
class Runtime final : public QObject, public SchedulerHost {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const std::string&, const std::string&)> showClock;  // the clock's labels
        std::function<void()> confirmShutdown;                                  // opens Form2
        std::function<void()> indexReread;  // the group file changed on disk and was read again
        std::function<void()> afterTick;    // once a second, after the bell of the second has been dealt with
    };

    // The clock and the inhibitor outlive the runtime. Without a wake of its own it makes a PreciseWake.
    Runtime(std::filesystem::path appFolder, MediaPlayer& player, const Clock& clock, SleepInhibitor& inhibitor,
            std::unique_ptr<WakeTimer> wake = nullptr);

    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    // The sound output is read again a few seconds before each bell, and every few seconds while it is unfit (or a
    // bell went unheard through it), so that its warnings go as soon as it is mended.
    void SetSoundOutput(SoundOutputMonitor* monitor) { soundOutput_ = monitor; }
    // The latest reading of the sound output, for the bell log; a fit one ends a silent-bell warning that the
    // output caused.
    void SoundOutputRead(const SoundOutputState& state);
    // Told the name and music of each job that rings, right after its music went to the player.
    void OnJobFired(std::function<void(const std::string& name, const std::string& path)> fired) {
        fired_ = std::move(fired);
    }
    // The player could not play `path`: the bell log's line, under the bell whose music it is when one is playing.
    void PlaybackFailed(const std::string& path, const std::string& reason);
    // Where a bell that nobody heard is shown ("silent-bell").
    void SetWarnings(WarningBoard* warnings) { warnings_ = warnings; }
    // The clock's load: reads the shutdown settings, shows the time, builds the index and starts the tick.
    void Start();

    Checktime& scheduler() { return checktime_; }
    BellLog& bellLog() { return bellLog_; }
    const Clock& clock() const { return clock_; }
    // Why "exit.dll" could not be read at Start; "" when it could.
    const std::string& shutdownSettingsProblem() const { return shutdownSettingsProblem_; }

    void ShowClock(const std::string& time, const std::string& weekdayCode) override;
    void StartFireLockTimer() override;
    void ConfirmShutdown() override;
    void JobExamined(const JobExamination& examination) override;
    void ClockJumped(const LocalDateTime& from, const LocalDateTime& to) override;
    void BellsLeftChanged(const BellsLeft& left) override;
    void IndexReread() override;
    void Firing(const JobExamination& examination) override {
        playing_ = examination;
        firing_ = true;
    }

    // How far ahead of a bell its minute is looked at and its music prepared.
    static constexpr int kLeadSeconds = 5;
    // How often an unfit output is read again: a mended one clears its warnings a second or so after this.
    static constexpr std::chrono::seconds kRecheckEvery{4};
    // How far after a bell's minute begins its wake is aimed: the clock's whole milliseconds already put it
    // after, this covers a wall clock a little slewed against the monotonic one since the last tick.
    static constexpr std::chrono::microseconds kWakeMargin{100};
    // How long before its minute a prepared bell is handed to the player, timed for the minute's instant: its
    // output then opens its stream on the sound server (3-6 ms measured under two busy loops) and waits. Long
    // enough for a loaded machine many times over; short, since a bell called off within it is cut at its tick.
    static constexpr std::chrono::milliseconds kStartLead{200};

private:
    // A fired bell whose proof of sound is awaited.
    struct Awaited {
        std::chrono::steady_clock::time_point tick;  // when its tick began
        std::int64_t lateMs = 0;                     // how far into its minute that was
        std::string name;                            // "08:00 上课", for the warning
    };

    void OnTick();
    void LookAhead();
    void WakeAtMinute(const LocalDateTime& now, bool due);
    void OnWake();
    void RecheckOutput();
    void CheckOutput();
    void SoundProved(const SoundProof& proof);
    void Proved(const Awaited& bell, const BellProof& columns, const Silence& silence, bool outputToBlame);
    // The last reading of the output found it unfit for a bell (none, muted, too low, unplugged).
    bool OutputUnfit() const;

    std::filesystem::path appFolder_;
    const Clock& clock_;
    // Idle suspend must not silence a bell: held while START bells remain today, let go at quit.
    SleepInhibitor& inhibitor_;
    Checktime checktime_;
    BellPreparer preparer_;
    BellLog bellLog_;
    AlignedTicker ticker_;
    std::unique_ptr<WakeTimer> wake_;  // starts the bell of the coming minute at its instant
    QTimer fireLockTimer_;             // Timer2
    Hooks hooks_;
    std::function<void(const std::string&, const std::string&)> fired_;
    bool unconfirmedShutdownLogged_ = false;
    SoundOutputMonitor* soundOutput_ = nullptr;
    SoundOutputState outputState_;
    bool outputRead_ = false;                            // a reading has come since the program started
    bool silentByOutput_ = false;                        // the silent-bell warning up is the output's doing
    std::chrono::steady_clock::time_point outputAsked_;  // the last reading asked for
    std::chrono::steady_clock::time_point tickSteady_;   // when the current tick began
    std::string lookedAhead_;                            // the coming bell already looked at: minute and job
    bool startDue_ = false;            // the wake armed hands the coming bell to the player, ahead of its minute
    std::int64_t startedMinute_ = -1;  // the minute whose bell the player was last told to start
    std::string shutdownSettingsProblem_;
    WarningBoard* warnings_ = nullptr;
    std::deque<Awaited> awaited_;
    MediaPlayer& player_;
    std::optional<JobExamination> playing_;  // the last bell that rang, with the medium it set (unconverted)
    // A medium that fails while its bell is being handed over is written after that bell's own line.
    bool firing_ = false;
    std::vector<std::pair<std::string, std::string>> failedWhileFiring_;  // path, reason
    QTimer proofLimit_;  // a player that never tells must not hold the bell log back
};

}  // namespace lingchao
