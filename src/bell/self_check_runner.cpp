#include "bell/self_check_runner.h"

#include <QMetaObject>

namespace lingchao {

SelfCheckRunner::SelfCheckRunner(std::filesystem::path groupFile, const Clock& clock, std::unique_ptr<MediaProbe> probe,
                                 Report report)
    : groupFile_(std::move(groupFile)),
      clock_(clock),
      probe_(std::move(probe)),
      report_(std::move(report)),
      dayWatch_(this) {  // a child, so that moveToThread takes the timer along
    dayWatch_.setInterval(60000);
    connect(&dayWatch_, &QTimer::timeout, this, [this] {
        if (!(clock_.Now().date == checkedDate_)) Request();
    });
    dayWatch_.start();
}

SelfCheckRunner::~SelfCheckRunner() {
    stop_.Cancel();
    if (worker_.joinable()) worker_.join();
}

void SelfCheckRunner::Cancel() { stop_.Cancel(); }

void SelfCheckRunner::Request() {
    if (stop_.Cancelled()) return;
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
        auto problems = CheckTodaysMusic(file, weekday, *probe_, stop_);
        QMetaObject::invokeMethod(
            this, [this, problems = std::move(problems)]() mutable { Finished(std::move(problems)); },
            Qt::QueuedConnection);
    });
}

void SelfCheckRunner::Finished(std::optional<std::vector<MusicProblem>> problems) {
    running_ = false;
    // A cancelled check saw only part of the music: saying nothing beats a false "all fine".
    if (!problems || stop_.Cancelled()) return;
    if (report_) report_(*problems);
    if (pending_) StartWorker();
}

}  // namespace lingchao
