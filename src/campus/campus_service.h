#pragma once

#include <QString>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "base/warning_board.h"
#include "campus/campus_message.h"
#include "campus/campus_settings.h"
#include "campus/campus_view.h"

namespace lingchao {

class CampusCore;
struct CampusShared;

// The campus as this PC takes part in it, on a thread of its own: the link to the broker, the main's publishing
// of default.dll and calendar.csv, a follower's taking them, every PC's status, and a standby's watch on the PC it
// stands by for. Nothing here waits on the bell or the network: the link's hooks come to this thread as queued
// calls, and what the program must do is handed to its hooks, which must not block either. Logs "campus: ...".
// Warning keys: "campus" (cut off from the broker over 2 minutes, or a link that cannot start), "campus-sync" (a
// file from the main refused) and "campus-publish" (the main's own file unfit to send).
class CampusService final {
public:
    // Called on the campus thread.
    struct Hooks {
        // This PC's status as it stands (see OwnCampusStatus); pc, online and sent are filled in here.
        std::function<CampusStatus()> status;
        // A file from the main replaced this PC's own: the bell and the windows showing it are to read it again.
        std::function<void(CampusFileKind kind)> applied;
        // A standby's PC went offline (true: take over its bells) or came back (false).
        std::function<void(bool takeOver, const QString& pc)> takeOver;
        // The newest bell the standby's PC says it rang (its date and time): a taking-over standby leaves it be.
        std::function<void(const QString& pc, const CampusLastBell& bell)> peerRang;
        // On the main: the drill or emergency signal it sounds now (running false when none).
        std::function<CampusSignal()> signalNow;
        // On a follower, and on a standby while it stands in: the main's signal changed, or was said again.
        std::function<void(const CampusSignal& signal)> mainSignal;
    };
    // What a test changes; the program keeps the defaults.
    struct Options {
        std::function<std::chrono::steady_clock::time_point()> steadyNow = [] {
            return std::chrono::steady_clock::now();
        };
        std::chrono::milliseconds tick{1000};          // the files' stamps, the cut-off and the standby's watch
        std::chrono::milliseconds statusEvery{30000};  // this PC's status, besides at connect and on a warning
        std::chrono::minutes warnAfter{2};             // cut off this long: the "campus" warning
        std::chrono::seconds reconnectLast{60};
    };

    CampusService(std::filesystem::path appFolder, CampusSettings settings, WarningBoard& warnings, Hooks hooks,
                  Options options);
    CampusService(std::filesystem::path appFolder, CampusSettings settings, WarningBoard& warnings, Hooks hooks)
        : CampusService(std::move(appFolder), std::move(settings), warnings, std::move(hooks), Options{}) {}
    // Says it is going (a status with online false, not the will), leaves the broker, clears its warnings.
    ~CampusService();
    CampusService(const CampusService&) = delete;
    CampusService& operator=(const CampusService&) = delete;

    // Starts the thread and the link, which connects in the background. "" or why the link cannot start (a TLS
    // file that does not read): then the "campus" warning says so and nothing runs.
    QString Start();
    // A copy for the 校园 window, from any thread: this PC first, the others by name.
    CampusView View() const;

private:
    std::filesystem::path appFolder_;
    CampusSettings settings_;
    WarningBoard& warnings_;
    Hooks hooks_;
    Options options_;
    std::shared_ptr<CampusShared> shared_;
    std::unique_ptr<QThread> thread_;
    QObject* home_ = nullptr;     // lives on thread_
    CampusCore* core_ = nullptr;  // lives on thread_, made and deleted there
};

// The campus as lingchao.ini sets it: null when it is off, or when its settings have a problem or its link cannot
// start (both on the "campus" warning, and logged).
std::unique_ptr<CampusService> StartCampus(const std::filesystem::path& appFolder, WarningBoard& warnings,
                                           CampusService::Hooks hooks);

// "主控", "分控", "备用（教学楼A）".
QString CampusRoleText(const CampusSettings& settings);

}  // namespace lingchao
