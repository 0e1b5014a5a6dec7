#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/warning_board.h"

namespace lingchao {

// What the system tells of its clock's synchronisation.
struct ClockSyncReading {
    bool kernelSynced = true;                      // adjtimex(): neither TIME_ERROR nor STA_UNSYNC
    std::optional<bool> ntpSynchronized;           // timedated's NTPSynchronized, when it answered
    std::optional<std::int64_t> secondsSinceSync;  // since the last successful sync, where the system notes it
};

// The clock's warning text, "" when the clock is synchronised.
std::string ClockSyncWarning(const ClockSyncReading& reading);

// Watches the system clock's synchronisation, once a minute and never holding up the caller (timedated is asked
// asynchronously), and keeps the warning board's "clock-sync" text. While the warning is up the kernel's word is
// read every few seconds (timedated still once a minute), so the warning goes soon after the clock syncs. Needs a
// QCoreApplication.
class ClockSyncWatch final : public QObject {
    Q_OBJECT
public:
    struct Sources {
        std::function<bool()> kernelSynced;
        std::function<std::optional<std::int64_t>()> secondsSinceSync;
        bool askTimedated = true;  // org.freedesktop.timedate1 on the system bus
    };
    // adjtimex(), systemd-timesyncd's mark of its last sync, and timedated.
    static Sources SystemSources();

    explicit ClockSyncWatch(WarningBoard& board, Sources sources = SystemSources(), QObject* parent = nullptr);

    // Checks now, then every `intervalMs` (every `warnedIntervalMs` while the warning is up).
    void Start(int intervalMs = 60000, int warnedIntervalMs = 8000);
    void CheckNow();
    // timedated has not answered the last question yet.
    bool Pending() const { return pending_; }

private:
    void Read();
    void AskTimedated();
    void Show();

    WarningBoard& board_;
    Sources sources_;
    QTimer timer_;
    int interval_ = 60000;
    int warnedInterval_ = 8000;
    QElapsedTimer asked_;  // since timedated was last asked
    ClockSyncReading reading_;
    bool pending_ = false;
    bool warned_ = false;
};

}  // namespace lingchao
