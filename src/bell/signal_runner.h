#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/media_player.h"
#include "base/output_volume.h"
#include "base/warning_board.h"
#include "scheduler/bell_log.h"
#include "scheduler/clock.h"
#include "store/drill_plans.h"

namespace lingchao {

// What a PC does to follow the signal another PC (the campus's main) sounds, given what it sounds itself and the
// signal it started to follow ("" none): start it, press 下一步 as the main did, end it with the main, nothing, or
// nothing because a signal of its own sounds.
enum class SignalFollow { Nothing, Start, Next, End, Busy };
SignalFollow FollowOf(const SignalState& main, const SignalState& here, const std::string& followed);

// Sounds one drill or emergency signal at a time on a player of its own, step after step, timed from each step's
// start on the monotonic clock (so the pattern keeps its gaps whatever the wall clock does). Lives on the bell's
// thread; while it runs the scheduler holds its bells (through `hold`).
class SignalRunner final : public QObject {
    Q_OBJECT
public:
    struct Parts {
        // Its player, made at the first signal: a program that never sounds one keeps no second pipeline.
        std::function<std::unique_ptr<MediaPlayer>()> makePlayer;
        // A step's sound as a file to play ("tone:长鸣" or a music name); "" and `why` when there is none.
        std::function<std::string(const std::string& sound, std::string* why)> soundFile;
        OutputVolumeControl* volume = nullptr;  // may be null: the volume is never raised
        std::filesystem::path appFolder;        // where a running signal and a raised volume are noted meanwhile
        const Clock* clock = nullptr;
        BellLog* log = nullptr;
        WarningBoard* warnings = nullptr;
        std::function<void(const std::string& reason)> hold;  // "" releases the bells
        std::function<void(const SignalState&)> publish;
    };
    explicit SignalRunner(Parts parts);
    ~SignalRunner() override;

    // A signal that was sounding when the program died: the volume it raised is put back and it is logged as
    // ended abnormally.
    void RecoverAfterCrash();
    // "" when it started; else why not (one is sounding already, a sound is missing).
    std::string Start(const DrillSignal& signal, const std::string& origin);
    // The operator's 下一步; "" or why not.
    std::string Next();
    // 结束: the all-clear steps sound, then it is over; a second 结束 silences them at once.
    std::string End();
    // The player the signal sounds on, for the player's own failures (path, reason).
    void SoundFailed(const std::string& path, const std::string& reason);
    const SignalState& state() const { return state_; }
    bool running() const { return state_.running; }

    // The notes kept in the application folder while a signal sounds.
    static constexpr const char* kRunningFile = "signal-running.txt";
    static constexpr const char* kVolumeFile = "signal-volume.txt";

private:
    using Steady = std::chrono::steady_clock;
    void EnterStep(std::size_t index);
    void Advance();
    void SoundOn();
    void SoundOff();
    void SoundEnded();
    void SetSound();
    std::optional<std::size_t> NextStep() const;
    void BeginEnd();
    void RaiseVolume();
    void RestoreVolume();
    void Finish(const std::string& how);
    void Publish();
    void Log(const std::string& sound, const std::string& outcome);
    void AtTime(QTimer& timer, Steady::time_point when);
    void Problem(const std::string& problem);
    std::chrono::milliseconds Since(Steady::time_point from) const;

    Parts parts_;
    std::unique_ptr<MediaPlayer> player_;
    SignalState state_;
    DrillSignal signal_;
    std::string origin_;
    std::size_t index_ = 0;
    std::vector<std::string> files_;  // each step's sound as a file, found at the start
    std::string file_;                // the step's
    int soundings_ = 0;               // of the step's sound, begun so far
    bool on_ = false;                 // sounding now
    Steady::time_point stepStart_;
    Steady::time_point soundingStart_;
    Steady::time_point lastSet_;  // the sound last handed to the player
    std::optional<Steady::time_point> endPressed_;
    bool endedByOperator_ = false;  // 结束 was pressed (not the steps running out)
    std::optional<SavedVolume> saved_;
    bool raising_ = false;
    QTimer soundTimer_;
    QTimer stepTimer_;
    // Shortly before a timed step ends, the next step's sound is opened paused, so that the change costs no
    // pipeline building (tens of milliseconds of silence on a busy machine). Not sooner: a pipeline left paused
    // for minutes loses the start of its sound.
    QTimer prepareTimer_;
    bool nextPrepared_ = false;
    static constexpr std::chrono::seconds kPrepareLead{2};
    // The volume's answers may come after the runner is gone: they look here first.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace lingchao
