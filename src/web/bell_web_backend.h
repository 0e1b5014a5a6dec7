#pragma once

#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>

#include "base/warning_board.h"
#include "scheduler/clock.h"
#include "web/web_backend.h"

namespace lingchao {

class BellThread;

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
    };
    explicit BellWebBackend(Parts parts);

    QJsonObject Status() const override;
    void Act(const WebAction& action, const std::string& who, std::function<void(std::string)> done) override;
    QByteArray Metrics() const override;

private:
    std::string ChangeToday(const WebAction& action, const LocalDateTime& now);

    Parts parts_;
    mutable std::mutex mutex_;
    mutable QJsonObject cached_;
    mutable std::chrono::steady_clock::time_point cachedAt_;
};

}  // namespace lingchao
