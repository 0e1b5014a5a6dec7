#include "web/bell_web_backend.h"

#include <QJsonArray>
#include <algorithm>
#include <system_error>
#include <utility>

#include "base/log.h"
#include "bell/bell.h"
#include "bell/bell_thread.h"
#include "scheduler/calendar.h"
#include "scheduler/day_plan.h"
#include "web/day_status.h"

namespace lingchao {
namespace {

constexpr std::chrono::seconds kStatusLife{1};

// A music file the page offered: a plain name of a regular file in the music folder.
bool IsOfferedName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos && name.find("..") == std::string::npos &&
           name != "null.dll";
}

QString KindName(DrillKind kind) { return kind == DrillKind::Emergency ? "emergency" : "drill"; }

QJsonValue SignalJson(const SignalState& state) {
    if (!state.running) return QJsonValue::Null;
    return QJsonObject{{"name", QString::fromStdString(state.signal)},
                       {"kind", KindName(state.kind)},
                       {"label", QString::fromStdString(state.label)},
                       {"step", state.step},
                       {"steps", state.steps},
                       {"waits_for_next", state.waitsForNext},
                       {"ending", state.ending}};
}

}  // namespace

void SignalWatch::Publish(const SignalState& state) {
    std::lock_guard lock(mutex_);
    state_ = state;
}

SignalState SignalWatch::Current() const {
    std::lock_guard lock(mutex_);
    return state_;
}

BellWebBackend::BellWebBackend(Parts parts) : parts_(std::move(parts)) {}

QJsonObject BellWebBackend::Status() const {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (cached_.isEmpty() || now - cachedAt_ >= kStatusLife) {
        cached_ = BuildDayStatus(parts_.appFolder, parts_.clock->Now(),
                                 parts_.warnings != nullptr ? parts_.warnings->Text() : std::string());
        QJsonArray plans;
        for (const DrillSignal& plan : SignalPlans()) {
            plans.append(QJsonObject{{"name", QString::fromStdString(plan.name)}, {"kind", KindName(plan.kind)}});
        }
        cached_["signals"] = plans;
        cachedAt_ = now;
    }
    // The signal as it stands, not a second old: 下一步 shows at once.
    QJsonObject status = cached_;
    status["signal"] = parts_.signal ? SignalJson(parts_.signal->Current()) : QJsonValue(QJsonValue::Null);
    return status;
}

std::vector<DrillSignal> BellWebBackend::SignalPlans() const {
    const DrillsRead read = ReadDrills(parts_.appFolder / kDrillsFile);
    return read.present ? read.plans : DefaultDrillSignals();
}

QByteArray BellWebBackend::Metrics() const { return StatusMetrics(Status()); }

void BellWebBackend::Act(const WebAction& action, const std::string& who, std::function<void(std::string)> done) {
    const LocalDateTime now = parts_.clock->Now();
    switch (action.kind) {
        case WebAction::Kind::Ring: {
            std::string path;
            std::string what;
            if (action.job > 0) {
                const DayBells today = BellsOfDate(parts_.appFolder, now.date);
                for (const PlanBell& bell : today.bells) {
                    if (bell.jobNo == action.job) {
                        path = bell.path;
                        what = "job " + std::to_string(bell.jobNo) + " \"" + bell.name + "\"";
                    }
                }
                if (path.empty()) return done("今天的任务中没有这个任务");
            } else {
                std::error_code error;
                const std::filesystem::path file = parts_.appFolder / "music" / action.file;
                if (!IsOfferedName(action.file) || !std::filesystem::is_regular_file(file, error)) {
                    return done("音乐文件夹中没有这个文件");
                }
                path = file.string();
                what = "\"" + action.file + "\"";
            }
            LogLine("web: " + who + " rings " + what + " now");
            parts_.bell->Post([path, done](Bell& bell) {
                if (bell.signalState().running) return done("正在进行紧急信号或演练，不能响铃");
                bell.player().SetFileName(path);
                done("");
            });
            return;
        }
        case WebAction::Kind::Stop:
            LogLine("web: " + who + " stops the playing");
            parts_.bell->Post([done](Bell& bell) {
                bell.StopCommand();
                done("");
            });
            return;
        case WebAction::Kind::SignalStart:
        case WebAction::Kind::SignalNext:
        case WebAction::Kind::SignalEnd:
            return AskBell(action, who, std::move(done));
        default:
            break;
    }
    if (const std::string why = parts_.readOnly ? parts_.readOnly() : ""; !why.empty()) return done(why);
    const std::string refused = ChangeToday(action, now);
    if (refused.empty()) {
        LogLine("web: " + who + " changed today's bells");
        {
            std::lock_guard lock(mutex_);
            cached_ = {};  // the next status shows the change
        }
        if (parts_.calendarChanged) parts_.calendarChanged();
    }
    done(refused);
}

void BellWebBackend::AskBell(const WebAction& action, const std::string& who, std::function<void(std::string)> done) {
    const WebAction::Kind kind = action.kind;
    if (kind == WebAction::Kind::SignalStart) {
        const std::vector<DrillSignal> plans = SignalPlans();
        const bool known =
            std::any_of(plans.begin(), plans.end(), [&](const DrillSignal& plan) { return plan.name == action.name; });
        if (!known) return done("没有名为「" + action.name + "」的预案");
        LogLine("web: " + who + " starts the signal " + action.name);
    } else {
        LogLine("web: " + who + (kind == WebAction::Kind::SignalNext ? " moves the signal on" : " ends the signal"));
    }
    // The bell's log names where it came from, as it does for this PC and the command line.
    parts_.bell->Post([kind, name = action.name, origin = "web " + who, done](Bell& bell) {
        done(kind == WebAction::Kind::SignalStart  ? bell.StartSignal(name, origin)
             : kind == WebAction::Kind::SignalNext ? bell.NextSignalStep()
                                                   : bell.EndSignal());
    });
}

std::string BellWebBackend::ChangeToday(const WebAction& action, const LocalDateTime& now) {
    using Entries = std::vector<CalendarEntry>;
    std::function<bool(Entries&)> change;
    switch (action.kind) {
        case WebAction::Kind::SilenceToday:
            LogLine("today only: no more bells today");
            change = [&](Entries& e) { return e = SilenceToday(std::move(e), now.date), true; };
            break;
        case WebAction::Kind::SkipNext: {
            const DayBells today = BellsOfDate(parts_.appFolder, now.date);
            const std::optional<PlanBell> next = NextBell(today.bells, now.time);
            if (!next) return "今天没有要响的铃声了";
            LogLine("today only: skip the bell " + HourMinuteText(next->setTime) + " job " +
                    std::to_string(next->jobNo) + " \"" + next->name + "\"");
            change = [&, next](Entries& e) {
                return e = SkipBell(std::move(e), now.date, next->setTime, next->jobNo), true;
            };
            break;
        }
        case WebAction::Kind::DelayToday:
            if (action.minutes < 1 || action.minutes > 120) return "推迟的分钟数应在 1 到 120 之间";
            LogLine("today only: the rest of today's bells ring " + std::to_string(action.minutes) + " minutes later");
            change = [&](Entries& e) { return e = ShiftToday(std::move(e), now.date, now.time, action.minutes), true; };
            break;
        case WebAction::Kind::RestoreToday:
            LogLine("today only: today's bells restored");
            change = [&](Entries& e) { return e = RestoreToday(std::move(e), now.date), true; };
            break;
        default:
            return "不认识的操作";
    }
    std::string failure;
    if (ChangeCalendar(parts_.appFolder / "calendar.csv", now.date, change, &failure) == CalendarWrite::Failed) {
        return failure.empty() ? std::string("校历无法保存") : "校历无法保存：" + failure;
    }
    return {};
}

}  // namespace lingchao
