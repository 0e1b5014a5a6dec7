#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace lingchao {

// A one-shot wake-up on the owner's thread after a delay measured to the microsecond.
class WakeTimer {
public:
    virtual ~WakeTimer() = default;
    // Called on the owner's thread when an arming comes due.
    virtual void SetHandler(std::function<void()> handler) = 0;
    // Comes due once, `delay` from now; replaces any arming still pending.
    virtual void Arm(std::chrono::microseconds delay) = 0;
    // Nothing pending any more, not even an arming that came due but has not been handled yet.
    virtual void Cancel() = 0;
    virtual bool IsArmed() const = 0;
};

// A timerfd on the monotonic clock, watched by the owner's event loop. Qt's own timers round to the millisecond
// and land late by the event loop's wake-up; this lands within tens of microseconds, and a wall clock set
// meanwhile does not move it.
class PreciseWake final : public QObject, public WakeTimer {
    Q_OBJECT
public:
    explicit PreciseWake(QObject* parent = nullptr);
    ~PreciseWake() override;

    void SetHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void Arm(std::chrono::microseconds delay) override;
    void Cancel() override;
    bool IsArmed() const override { return armed_; }

private:
    void Due();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> handler_;
    bool armed_ = false;
};

}  // namespace lingchao
