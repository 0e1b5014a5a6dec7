#pragma once

#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/warning_board.h"
#include "scheduler/clock.h"
#include "store/drill_plans.h"
#include "web/web_backend.h"

namespace lingchao {

class BellThread;

// The drill or emergency signal as the bell last published it, for the server's thread: the bell's outlet hands
// each state over here and goes on at once.
class SignalWatch {
public:
    void Publish(const SignalState& state);
    SignalState Current() const;

private:
    mutable std::mutex mutex_;
    SignalState state_;
};

// The office page over the running program: today's status from its files (kept a second, so that many phones
// cost one reading), actions as queued calls to the bell and as today-only calendar changes. Called on the web
// server's thread; never waits for the bell.
class BellWebBackend final : public WebBackend {
public:
    struct Parts {
        std::filesystem::path appFolder;
        const Clock* clock = nullptr;  // safe from any thread
        BellThread* bell = nullptr;
        const WarningBoard* warnings = nullptr;
        // After a change of the calendar: the bell plans again and the windows show it (from any thread).
        std::function<void()> calendarChanged;
        // The signal the bell runs, as its outlet publishes it; none: nothing is ever shown running.
        std::shared_ptr<const SignalWatch> signal;
        // Why today's changes are not made on this PC (they come from the campus's main); "" when they are.
        std::function<std::string()> readOnly;
    };
    explicit BellWebBackend(Parts parts);

    QJsonObject Status() const override;
    void Act(const WebAction& action, const std::string& who, std::function<void(std::string)> done) override;
    QByteArray Metrics() const override;

private:
    std::string ChangeToday(const WebAction& action, const LocalDateTime& now);
    void AskBell(const WebAction& action, const std::string& who, std::function<void(std::string)> done);
    // drills.csv's plans, or the shipped ones while there is no such file (as the bell reads them).
    std::vector<DrillSignal> SignalPlans() const;

    Parts parts_;
    mutable std::mutex mutex_;
    mutable QJsonObject cached_;
    mutable std::chrono::steady_clock::time_point cachedAt_;
};

}  // namespace lingchao
