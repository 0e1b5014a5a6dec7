#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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
// asynchronously), and keeps the warning board's "clock-sync" text. While the warning is up, the board's re-check
// (the bell's tick) looks at the kernel's word every few seconds, so the warning goes soon after the clock syncs
// without a quicker timer here. Needs a QCoreApplication.
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

    // `sources.kernelSynced` is also called on the bell's thread, by the board's re-check.
    explicit ClockSyncWatch(WarningBoard& board, Sources sources = SystemSources(), QObject* parent = nullptr);
    ~ClockSyncWatch() override;

    // Checks now, then every `intervalMs`.
    void Start(int intervalMs = 60000);
    void CheckNow();
    // timedated has not answered the last question yet.
    bool Pending() const { return pending_; }

private:
    void AskTimedated();
    void Show();

    WarningBoard& board_;
    Sources sources_;
    QTimer timer_;
    ClockSyncReading reading_;
    // The kernel's word as last shown, for the re-check on the bell's thread (which may outlive this by a call).
    std::shared_ptr<std::atomic<bool>> kernelShown_ = std::make_shared<std::atomic<bool>>(true);
    bool pending_ = false;
    bool warned_ = false;
};

}  // namespace lingchao
