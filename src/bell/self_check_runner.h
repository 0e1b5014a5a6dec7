#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "scheduler/clock.h"
#include "scheduler/self_check.h"

namespace lingchao {

// Runs the self-check of today's bells on a worker thread of its own (decoding takes time, a bell must not wait
// for it) and hands the findings back on the thread this object lives on. Requests while one runs are folded into
// one. A new day (new music for today) starts a check by itself. The check stops at once when asked to, or when
// this object goes: the program's end never waits for a long music list.
class SelfCheckRunner final : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(const std::vector<MusicProblem>&)>;

    SelfCheckRunner(std::filesystem::path groupFile, const Clock& clock, std::unique_ptr<MediaProbe> probe,
                    Report report);
    // Cancels the check under way and waits for its thread, which lets go within about a second.
    ~SelfCheckRunner() override;

    // Checks today's music now, or once more after the check under way. Call on this object's thread.
    void Request();
    // Ends the check under way without a report and takes no more requests: for the start of the program's end,
    // so the check winds down while the rest does. Returns at once; safe from any thread.
    void Cancel();
    // The group file and the weekday whose songs ring today (the calendar's plan); without it, the group given
    // at construction and today's weekday.
    void SetTodaysSource(std::function<std::pair<std::filesystem::path, int>()> source) { source_ = std::move(source); }

private:
    void StartWorker();
    void Finished(std::optional<std::vector<MusicProblem>> problems);

    std::filesystem::path groupFile_;
    const Clock& clock_;
    std::unique_ptr<MediaProbe> probe_;
    Report report_;
    std::function<std::pair<std::filesystem::path, int>()> source_;
    std::thread worker_;
    CancelToken stop_;
    bool running_ = false;
    bool pending_ = false;
    CalendarDate checkedDate_;
    QTimer dayWatch_;
};

}  // namespace lingchao
