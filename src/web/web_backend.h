#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <functional>
#include <string>

namespace lingchao {

// Who is asking: 值班 (duty) sees and changes today; 管理 (admin) also drills, emergencies and settings.
enum class WebRole { Duty, Admin };

// What the office page and the API may do to today's bells. `minutes` for DelayToday (1..120); for Ring, `job`
// (a job number of today's timetable, 1-based) or `file` (a name offered in the status's "music"), one of them.
// The signal kinds start, step and end a drill or emergency (`name`: a plan offered in the status's "signals");
// only 管理 reaches them.
struct WebAction {
    enum class Kind {
        Ring,
        Stop,
        SilenceToday,
        SkipNext,
        DelayToday,
        RestoreToday,
        SignalStart,
        SignalNext,
        SignalEnd
    };
    Kind kind = Kind::Stop;
    int minutes = 0;
    int job = 0;
    std::string file;
    std::string name;
};

// The program behind the web server. Everything here is called on the server's thread and must never wait on
// the bell: status is a copy the bell keeps up to date, an action is posted and answered later.
//
// Status() is the JSON of GET /api/status (the server adds "role"):
//   "now": PC clock "2026-12-08T07:59:58.123", "now_ms": the same as milliseconds since the epoch (UTC),
//   "date": "2026-12-08", "weekday": "星期二", "plan": the plan line as on the clock ("今天：…"),
//   "changes": today's changes ("今天已推迟 10 分钟"; "" when none),
//   "next": {"time": "08:00", "name": "上课", "at_ms": epoch ms} or null,
//   "bells": [{"time": "08:00", "name": "上课", "job": 3, "outcome": "rang" | "missed" | "silent" | "held" |
//              "skipped" | "coming", "sound_ms": 5 (rang only), "peak_dbfs": -1.9 (rang only)}],
//   "warnings": ["…"], "log": [the last 7 days of the bell log, newest first: {"date", "time", "name",
//              "outcome", "late_ms", "sound_ms", "peak_dbfs"}], "music": ["a.wav", …], "jobs": [{"job": 3,
//              "time": "08:00", "name": "上课"}] (today's, for 立即响铃),
//   "signal": the drill or emergency sounding, or null: {"name", "kind": "drill" | "emergency", "label",
//              "step", "steps", "waits_for_next", "ending"},
//   "signals": [{"name", "kind"}] the plans 管理 may start (the server shows them to 管理 only).
class WebBackend {
public:
    virtual ~WebBackend() = default;
    virtual QJsonObject Status() const = 0;
    // `done` gets "" when the action was taken, else the reason in Chinese; it may run on any thread, once.
    // `who` names the caller for the log: "192.168.1.20 值班".
    virtual void Act(const WebAction& action, const std::string& who, std::function<void(std::string)> done) = 0;
    // GET /metrics in the Prometheus text format (bells today, the last bell's lateness and sound_ms, warnings).
    virtual QByteArray Metrics() const = 0;
};

}  // namespace lingchao
