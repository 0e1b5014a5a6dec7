#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "platform/aligned_ticker.h"
#include "player/media_player.h"
#include "scheduler/checktime.h"

namespace lingchao {

// Wires the scheduler to its timers, the player and the log. The clock window takes over the display later.
class Runtime final : public QObject, public SchedulerHost {
    Q_OBJECT
public:
    Runtime(std::filesystem::path appFolder, MediaPlayer& player);

    // Reads the shutdown settings, shows the time, builds the index and starts the tick.
    void Start();

    Checktime& scheduler() { return checktime_; }

    void ShowClock(const std::string& time, const std::string& weekdayCode) override;
    void StartFireLockTimer() override;
    void ConfirmShutdown() override;
    void JobExamined(const JobExamination& examination) override;
    void ScheduleResumed(const LocalDateTime& now, int cursor) override;

private:
    std::filesystem::path appFolder_;
    SystemClock clock_;
    Checktime checktime_;
    AlignedTicker ticker_;
    QTimer fireLockTimer_;  // Timer2
};

}  // namespace lingchao
