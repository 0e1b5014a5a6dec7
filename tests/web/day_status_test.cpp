// What the office page shows of today comes from the program's own files: each bell's outcome from the bell log
// (a silent line after its fired one wins), the week of the log, the next bell; and today's actions change the
// calendar as the menus do, refusing what they must without touching the bell.

#include "web/day_status.h"

#include <gtest/gtest.h>

#include <QJsonArray>
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
    BellWebBackend backend({dir.path(), &clock, nullptr, nullptr, [&] { ++changed; }});
    std::vector<std::string> answers;
    const auto act = [&](WebAction action) {
        backend.Act(action, "192.168.1.20 值班", [&](std::string why) { answers.push_back(std::move(why)); });
        return answers.back();
    };
    EXPECT_EQ(act({WebAction::Kind::Ring, 0, 0, "../default.dll"}), "音乐文件夹中没有这个文件");
    EXPECT_EQ(act({WebAction::Kind::Ring, 0, 9, ""}), "今天的任务中没有这个任务");
    EXPECT_EQ(act({WebAction::Kind::DelayToday, 121, 0, ""}), "推迟的分钟数应在 1 到 120 之间");
    EXPECT_EQ(changed, 0);

    EXPECT_EQ(act({WebAction::Kind::SkipNext, 0, 0, ""}), "");
    EXPECT_EQ(backend.Status()["bells"].toArray()[3].toObject()["outcome"], "skipped");
    EXPECT_EQ(act({WebAction::Kind::SilenceToday, 0, 0, ""}), "");
    const QJsonObject silenced = backend.Status();
    EXPECT_NE(silenced["plan"].toString().indexOf("不响铃"), -1) << silenced["plan"].toString().toStdString();
    ASSERT_EQ(silenced["bells"].toArray().size(), 4) << "a silenced day still lists what rang before";
    EXPECT_EQ(Bell(silenced, 0)["outcome"], "rang");
    EXPECT_EQ(Bell(silenced, 2)["outcome"], "skipped");
    EXPECT_EQ(act({WebAction::Kind::RestoreToday, 0, 0, ""}), "");
    EXPECT_EQ(changed, 3);
    EXPECT_TRUE(std::filesystem::exists(dir / "calendar.csv.bak")) << "the calendar was backed up before each change";
    EXPECT_EQ(backend.Status()["bells"].toArray()[3].toObject()["outcome"], "coming");
}

}  // namespace
}  // namespace lingchao
