#include "platform/precise_wake.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/log.h"

namespace lingchao {

PreciseWake::PreciseWake(QObject* parent) : QObject(parent) {
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) {
        // The regular tick still rings every bell, a few milliseconds later.
        LogLine(std::string("no precise wake-up (timerfd): ") + std::strerror(errno));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PreciseWake::Due);
}

PreciseWake::~PreciseWake() {
    notifier_.reset();
    if (fd_ >= 0) close(fd_);
}

void PreciseWake::Arm(std::chrono::microseconds delay) {
    if (fd_ < 0) return;
    // A zero time disarms a timerfd: a delay already over comes due at once instead.
    const std::int64_t ns = std::max<std::int64_t>(delay.count() * 1000, 1);
    itimerspec due{};
    due.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    due.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    armed_ = timerfd_settime(fd_, 0, &due, nullptr) == 0;
}

void PreciseWake::Cancel() {
    if (!armed_) return;
    armed_ = false;
    // Setting the timer clears an expiry not yet read: a notification already on its way reads nothing.
    const itimerspec off{};
    timerfd_settime(fd_, 0, &off, nullptr);
}

void PreciseWake::Due() {
    std::uint64_t expiries = 0;
    if (read(fd_, &expiries, sizeof expiries) != static_cast<ssize_t>(sizeof expiries)) return;
    armed_ = false;
    if (handler_) handler_();
}

}  // namespace lingchao
