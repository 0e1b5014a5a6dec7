#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "scheduler/clock.h"
#include "scheduler/self_check.h"

namespace lingchao {

// Runs the self-check of today's bells away from the user-interface thread (decoding takes time, a bell must
// not wait for it) and hands the findings back on that thread. Requests while one runs are folded into one.
// A new day (new music for today) starts a check by itself.
class SelfCheckRunner final : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(const std::vector<MusicProblem>&)>;

    SelfCheckRunner(std::filesystem::path groupFile, const Clock& clock, std::unique_ptr<MediaProbe> probe,
                    Report report);
    ~SelfCheckRunner() override;

    void Request();
    // The group file and the weekday whose songs ring today (the calendar's plan); without it, the group given
    // at construction and today's weekday.
    void SetTodaysSource(std::function<std::pair<std::filesystem::path, int>()> source) { source_ = std::move(source); }

private:
    void StartWorker();
    void Finished(std::vector<MusicProblem> problems);

    std::filesystem::path groupFile_;
    const Clock& clock_;
    std::unique_ptr<MediaProbe> probe_;
    Report report_;
    std::function<std::pair<std::filesystem::path, int>()> source_;
    std::thread worker_;
    bool running_ = false;
    bool pending_ = false;
    CalendarDate checkedDate_;
    QTimer dayWatch_;
};

}  // namespace lingchao
