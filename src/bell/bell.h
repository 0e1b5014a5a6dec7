#pragma once

#include <QObject>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/media_player.h"
#include "base/media_probe.h"
#include "base/playback_watch.h"
#include "base/sleep_inhibitor.h"
#include "base/sound_output.h"
#include "base/warning_board.h"
#include "bell/calendar_keeper.h"
#include "bell/runtime.h"
#include "bell/self_check_runner.h"
#include "bell/signal_runner.h"
#include "scheduler/clock.h"
#include "shutdown/shutdown_settings.h"

namespace lingchao {

// Everything that rings: the tick and its scheduler, the player, the proof of sound, the school calendar in
// force, the check of today's music and the warnings they raise. Lives and is called on one thread (the bell's
// own, see BellThread); what it shows goes out through its outlets, which the wiring posts to the windows.
class Bell final : public QObject {
    Q_OBJECT
public:
    // What the bell runs on, made by the wiring on the bell's thread; the bell owns them from then on.
    struct Parts {
        std::filesystem::path appFolder;
        std::unique_ptr<Clock> clock;
        // Makes the player, told where to report a path it cannot play (with the reason).
        std::function<std::unique_ptr<MediaPlayer>(std::function<void(const std::string&, const std::string&)>)>
            makePlayer;
        std::unique_ptr<MediaProbe> probe;
        std::unique_ptr<SleepInhibitor> inhibitor;
        std::unique_ptr<SoundOutputMonitor> soundOutput;  // may be null: no reading of the output
        std::unique_ptr<OutputVolumeControl> volume;      // may be null: an emergency never raises the volume
        WarningBoard* warnings = nullptr;                 // outlives the bell; safe from any thread
    };
    // Called on the bell's thread; any may be empty (no windows: the shutdown is never confirmed unseen).
    struct Outlets {
        std::function<void(const std::string& time, const std::string& weekday)> showClock;
        std::function<void()> confirmShutdown;
        std::function<void(const std::string& plan, const std::string& todayChanges)> showPlan;
        std::function<void(const NowPlaying& now)> nowPlaying;
        std::function<void(bool offer)> offerTidy;                  // some of today's music was found only by its name
        std::function<void(const SignalState& state)> signalState;  // a drill or emergency signal, as it goes
    };

    Bell(Parts parts, Outlets outlets);
    ~Bell() override;

    // Reads the shutdown settings, the calendar and the timetable, starts the tick and the first checks.
    void Start();
    // Lets go of every worker at once (the music check): the program is ending.
    void Cancel();

    // The program changed the timetable: read again at once (a change on disk is noticed by the tick anyway).
    void TimetableSaved();
    // The program changed the calendar file.
    void CalendarChanged();
    void SetShutdownSettings(const ShutdownSettings& settings);
    // The music folder changed: today's music is checked again.
    void MusicFolderChanged();

    // The player as the menus, the music-list editor and the desktop's media controls use it.
    PlaybackWatch& player() { return *watch_; }
    void PlayCommand();
    void PauseCommand();
    void StopCommand();

    // Drills and emergencies: the plans of drills.csv (the shipped ones while there is no such file), and the
    // signal started by name from `origin` ("this PC", "command line"). Each answers "" or why not.
    std::vector<DrillSignal> SignalPlans();
    std::string StartSignal(const std::string& name, const std::string& origin);
    std::string NextSignalStep() { return signal_->Next(); }
    std::string EndSignal() { return signal_->End(); }
    const SignalState& signalState() const { return signal_->state(); }
    // The signal the campus's main (`from`) sounds: started, moved on and ended here as there. A signal this PC
    // sounds of its own is left alone.
    void FollowSignal(const SignalState& main, const std::string& from);

    // A standby PC (`forPc` not empty) passes the bells over while that PC is up; TakeOver(true) once it is down
    // (on the clock as "standby"), TakeOver(false) when it is back. PeerRang: the date and "HH:MM" of the newest bell
    // that PC says it rang, which this one never rings as well.
    void SetStandby(const std::string& forPc);
    void TakeOver(bool active);
    void PeerRang(const CalendarDate& date, const std::string& hourMinute);

    const std::string& nullMedia() const { return nullMedia_; }
    Runtime& runtime() { return *runtime_; }

private:
    // A step's sound as a file: a built-in tone written out, or a regular file of the music folder.
    std::string SignalSoundFile(const std::string& sound, std::string* why) const;
    void ReportProblems(const std::vector<MusicProblem>& problems);
    void SoundOutputRead(const SoundOutputState& state);
    void IndexRebuilt();
    void Replan();
    // From the tick, while a warning is up whose file nothing else looks at again: a mended file ends it.
    void WatchWarnedFiles();
    void LookUpTomorrow();

    std::filesystem::path appFolder_;
    std::string nullMedia_;
    Outlets outlets_;
    WarningBoard& warnings_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<SleepInhibitor> inhibitor_;
    std::unique_ptr<SoundOutputMonitor> soundOutput_;
    std::unique_ptr<PlaybackWatch> watch_;
    std::unique_ptr<Runtime> runtime_;
    std::unique_ptr<CalendarKeeper> calendar_;
    std::unique_ptr<SelfCheckRunner> selfCheck_;
    std::unique_ptr<OutputVolumeControl> volume_;
    std::unique_ptr<SignalRunner> signal_;
    std::string followed_;    // the main's signal this PC sounds because the main does; "" none
    std::string busyLogged_;  // the main's signal last said not followed
    bool problemsReported_ = false;
    std::set<std::string> problemsLogged_;  // the self-check's findings as last logged
    std::string clockShown_;  // the clock's text as last sent: the windows are woken once a minute, not a second
    std::string soundOutputLogged_;
    std::string shutdownStamp_;         // exit.dll as it stood when it could not be read; "" while it can
    std::int64_t tomorrowMinute_ = -1;  // tomorrow's group file, looked up once a minute while its warning is up
    std::filesystem::path tomorrowSource_;
    std::string tomorrowStamp_;
    std::chrono::steady_clock::time_point rechecked_;  // the board's re-checks last run
    std::string standbyFor_;                           // the PC this one stands by for; "" when none
    bool takenOver_ = false;
};

}  // namespace lingchao
