// What the office page shows of today comes from the program's own files: each bell's outcome from the bell log
// (a silent line after its fired one wins), the week of the log, the next bell; and today's actions change the
// calendar as the menus do, refusing what they must without touching the bell; the drills and emergencies offered
// are the bell's own plans, and the signal sounding is shown as the bell last published it.

#include "web/day_status.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <memory>
#include <string>
#include <vector>

#include "scheduler/bell_log.h"
#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/temp_folder.h"
#include "web/bell_web_backend.h"

namespace lingchao {
namespace {

constexpr CalendarDate kToday{2026, 12, 8};

class DayStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteNumberedGroup(dir / "default.dll", 4);  // J1..J4 at 08:01..08:04
        const std::string log = std::string(BellLog::kHeader) +
                                "\n2026-12-01,08:01,2026-12-01 08:01:00.004,4,1,J1,/m/J1.mp3,fired,5,-2,cap 100%"
                                "\n2026-12-02,08:01,2026-12-02 08:01:00.004,4,1,J1,/m/J1.mp3,fired,6,-2,cap 100%"
                                "\n2026-12-08,08:01,2026-12-08 08:01:00.004,4,1,J1,/m/J1.mp3,fired,5,-1.9,cap 100%"
                                "\n2026-12-08,08:02,2026-12-08 08:02:00.004,3,2,J2,/m/J2.mp3,fired,,,"
                                "\n2026-12-08,08:02,2026-12-08 08:02:00.004,3,2,J2,/m/J2.mp3,silent: no sound,,,"
                                "\n\"broken,line\nno,end\n";
        test::WriteAll(dir / "bell-log.csv", std::vector<std::uint8_t>(log.begin(), log.end()));
    }
    QJsonObject Bell(const QJsonObject& status, int i) { return status["bells"].toArray()[i].toObject(); }

    test::TempFolder dir;
    test::FakeClock clock{kToday, {8, 3, 30}};
};

TEST_F(DayStatusTest, EachBellHasItsOutcomeAndTheWeekOfTheLogComesNewestFirst) {
    const QJsonObject status = BuildDayStatus(dir.path(), clock.Now(), "声音输出已静音\n\n校历第 3 行已跳过");
    ASSERT_EQ(status["bells"].toArray().size(), 4);
    EXPECT_EQ(Bell(status, 0)["outcome"], "rang");
    EXPECT_EQ(Bell(status, 0)["sound_ms"], 5);
    EXPECT_EQ(Bell(status, 0)["peak_dbfs"], -1.9);
    EXPECT_EQ(Bell(status, 1)["outcome"], "silent");
    EXPECT_EQ(Bell(status, 2)["outcome"], "coming") << "its minute is still running";
    EXPECT_EQ(Bell(status, 3)["outcome"], "coming");
    EXPECT_EQ(status["next"].toObject()["time"], "08:04");
    EXPECT_EQ(status["warnings"].toArray().size(), 2);

    const QJsonArray log = status["log"].toArray();
    ASSERT_GE(log.size(), 4) << "the line of eight days ago is left out, the damaged one does no harm";
    EXPECT_EQ(log[0].toObject()["outcome"], "silent: no sound");
    EXPECT_NE(log.last().toObject()["date"], "2026-12-01");

    clock.SetTime({8, 5, 0});
    const QJsonObject later = BuildDayStatus(dir.path(), clock.Now(), "");
    EXPECT_EQ(Bell(later, 2)["outcome"], "missed") << "past, and no line says it rang";
    EXPECT_TRUE(later["next"].isNull());
    const QByteArray metrics = StatusMetrics(later);
    EXPECT_NE(metrics.indexOf("lingchao_bells_today 4\n"), -1) << metrics.constData();
    EXPECT_NE(metrics.indexOf("lingchao_bells_rung_today 1\n"), -1) << metrics.constData();
    EXPECT_NE(metrics.indexOf("lingchao_last_bell_sound_ms 5\n"), -1) << metrics.constData();
}

TEST_F(DayStatusTest, TodaysActionsChangeTheCalendarAndRefuseWhatTheyMust) {
    int changed = 0;
    BellWebBackend backend({dir.path(), &clock, nullptr, nullptr, [&] { ++changed; }, nullptr, nullptr});
    std::vector<std::string> answers;
    const auto act = [&](WebAction action) {
        backend.Act(action, "192.168.1.20 值班", [&](std::string why) { answers.push_back(std::move(why)); });
        return answers.back();
    };
    EXPECT_EQ(act({WebAction::Kind::Ring, 0, 0, "../default.dll", ""}), "音乐文件夹中没有这个文件");
    EXPECT_EQ(act({WebAction::Kind::Ring, 0, 9, "", ""}), "今天的任务中没有这个任务");
    EXPECT_EQ(act({WebAction::Kind::DelayToday, 121, 0, "", ""}), "推迟的分钟数应在 1 到 120 之间");
    EXPECT_EQ(changed, 0);

    EXPECT_EQ(act({WebAction::Kind::SkipNext, 0, 0, "", ""}), "");
    EXPECT_EQ(backend.Status()["bells"].toArray()[3].toObject()["outcome"], "skipped");
    EXPECT_EQ(act({WebAction::Kind::SilenceToday, 0, 0, "", ""}), "");
    const QJsonObject silenced = backend.Status();
    EXPECT_NE(silenced["plan"].toString().indexOf("不响铃"), -1) << silenced["plan"].toString().toStdString();
    ASSERT_EQ(silenced["bells"].toArray().size(), 4) << "a silenced day still lists what rang before";
    EXPECT_EQ(Bell(silenced, 0)["outcome"], "rang");
    EXPECT_EQ(Bell(silenced, 2)["outcome"], "skipped");
    EXPECT_EQ(act({WebAction::Kind::RestoreToday, 0, 0, "", ""}), "");
    EXPECT_EQ(changed, 3);
    EXPECT_TRUE(std::filesystem::exists(dir / "calendar.csv.bak")) << "the calendar was backed up before each change";
    EXPECT_EQ(backend.Status()["bells"].toArray()[3].toObject()["outcome"], "coming");
}

TEST_F(DayStatusTest, ThePlansOfferedAreTheBellsAndAnUnknownOneNeverReachesIt) {
    auto watch = std::make_shared<SignalWatch>();
    // No bell at all: a start that reached it would crash the test.
    const auto start = [&](BellWebBackend& backend, const std::string& name) {
        std::string why = "no answer";
        backend.Act({WebAction::Kind::SignalStart, 0, 0, "", name}, "192.168.1.20 管理",
                    [&](std::string answer) { why = std::move(answer); });
        return why;
    };
    {
        BellWebBackend shipped({dir.path(), &clock, nullptr, nullptr, nullptr, watch, nullptr});
        const QJsonObject status = shipped.Status();
        const QJsonArray plans = status["signals"].toArray();
        const std::vector<DrillSignal> defaults = DefaultDrillSignals();
        ASSERT_EQ(plans.size(), static_cast<qsizetype>(defaults.size())) << "no drills.csv: the shipped plans";
        for (std::size_t i = 0; i < defaults.size(); ++i) {
            EXPECT_EQ(plans[i].toObject()["name"].toString().toStdString(), defaults[i].name);
            EXPECT_EQ(plans[i].toObject()["kind"], defaults[i].kind == DrillKind::Emergency ? "emergency" : "drill");
        }
        EXPECT_TRUE(status["signal"].isNull());
        EXPECT_EQ(start(shipped, "火警"), "没有名为「火警」的预案");

        SignalState running;
        running.running = true;
        running.signal = "地震演练";
        running.label = "就地避险";
        running.step = 1;
        running.steps = 2;
        running.waitsForNext = true;
        watch->Publish(running);
        const QJsonObject signal = shipped.Status()["signal"].toObject();
        EXPECT_EQ(signal["name"], "地震演练") << "shown at once, not when the status is next read";
        EXPECT_EQ(signal["kind"], "drill");
        EXPECT_EQ(signal["label"], "就地避险");
        EXPECT_EQ(signal["step"], 1);
        EXPECT_EQ(signal["steps"], 2);
        EXPECT_EQ(signal["waits_for_next"], true);
        EXPECT_EQ(signal["ending"], false);
    }
    DrillSignal lockdown = DefaultDrillSignals().back();
    lockdown.name = "校园封闭";
    lockdown.kind = DrillKind::Emergency;
    std::string failure;
    ASSERT_TRUE(WriteDrills(dir / kDrillsFile, {lockdown}, &failure)) << failure;
    BellWebBackend written({dir.path(), &clock, nullptr, nullptr, nullptr, nullptr, nullptr});
    const QJsonArray plans = written.Status()["signals"].toArray();
    ASSERT_EQ(plans.size(), 1) << "drills.csv replaces the shipped plans";
    EXPECT_EQ(plans[0].toObject()["name"], "校园封闭");
    EXPECT_EQ(plans[0].toObject()["kind"], "emergency");
    EXPECT_EQ(start(written, "地震演练"), "没有名为「地震演练」的预案");
    EXPECT_TRUE(written.Status()["signal"].isNull()) << "no watch: nothing is ever shown running";
}

}  // namespace
}  // namespace lingchao
