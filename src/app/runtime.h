#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "base/media_player.h"
#include "platform/aligned_ticker.h"
#include "scheduler/bell_log.h"
#include "scheduler/checktime.h"

namespace lingchao {

// The scheduler with its two timers (the aligned tick and Timer2), its log and the bell log.
class Runtime final : public QObject, public SchedulerHost {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const std::string&, const std::string&)> showClock;  // the clock's labels
        std::function<void()> confirmShutdown;                                  // opens Form2
    };

    Runtime(std::filesystem::path appFolder, MediaPlayer& player);

    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    // The clock's load: reads the shutdown settings, shows the time, builds the index and starts the tick.
    void Start();

    Checktime& scheduler() { return checktime_; }
    BellLog& bellLog() { return bellLog_; }
    const Clock& clock() const { return clock_; }

    void ShowClock(const std::string& time, const std::string& weekdayCode) override;
    void StartFireLockTimer() override;
    void ConfirmShutdown() override;
    void JobExamined(const JobExamination& examination) override;
    void ClockJumped(const LocalDateTime& from, const LocalDateTime& to) override;

private:
    std::filesystem::path appFolder_;
    SystemClock clock_;
    Checktime checktime_;
    BellLog bellLog_;
    AlignedTicker ticker_;
    QTimer fireLockTimer_;  // Timer2
    Hooks hooks_;
    bool unconfirmedShutdownLogged_ = false;
};

}  // namespace lingchao
