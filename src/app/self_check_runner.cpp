#include "app/self_check_runner.h"

#include <QMetaObject>

namespace lingchao {

SelfCheckRunner::SelfCheckRunner(std::filesystem::path groupFile, const Clock& clock, std::unique_ptr<MediaProbe> probe,
                                 Report report)
    : groupFile_(std::move(groupFile)), clock_(clock), probe_(std::move(probe)), report_(std::move(report)) {
    dayWatch_.setInterval(60000);
    connect(&dayWatch_, &QTimer::timeout, this, [this] {
        if (!(clock_.Now().date == checkedDate_)) Request();
    });
    dayWatch_.start();
}

SelfCheckRunner::~SelfCheckRunner() {
    if (worker_.joinable()) worker_.join();
}

void SelfCheckRunner::Request() {
    if (running_) {
        pending_ = true;
        return;
    }
    StartWorker();
}

void SelfCheckRunner::StartWorker() {
    if (worker_.joinable()) worker_.join();
    running_ = true;
    pending_ = false;
    const LocalDateTime now = clock_.Now();
    checkedDate_ = now.date;
    auto [file, weekday] = source_ ? source_() : std::make_pair(groupFile_, now.weekday);
    worker_ = std::thread([this, file = std::move(file), weekday = weekday] {
        auto problems = CheckTodaysMusic(file, weekday, *probe_);
        QMetaObject::invokeMethod(
            this, [this, problems = std::move(problems)]() mutable { Finished(std::move(problems)); },
            Qt::QueuedConnection);
    });
}

void SelfCheckRunner::Finished(std::vector<MusicProblem> problems) {
    running_ = false;
    if (report_) report_(problems);
    if (pending_) StartWorker();
}

}  // namespace lingchao
