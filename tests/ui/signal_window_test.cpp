#include "ui/signal_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "base/csv.h"
#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/clock_window.h"
#include "ui/signal_records.h"

namespace lingchao {
namespace {

using Steady = std::chrono::steady_clock;

template <class T>
T* Find(QWidget* in, const QString& name) {
    T* found = in->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

// Waits for `done` while events run; far longer than needed, so a loaded machine does not fail it.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 30000) return false;
        QTest::qWait(5);
    }
    return true;
}

// One tick of the countdown, without waiting for it.
void Tick(SignalWindow& window) {
    auto* timer = window.findChild<QTimer*>(QStringLiteral("signalCountdownTimer"));
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(timer->isActive());
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
}

class SignalWindowTest : public ::testing::Test {
protected:
    // A countdown that never ends by itself unless a test asks for a short one.
    void Open(int countdownMs = 600000) {
        window = std::make_unique<SignalWindow>(
            DefaultDrillSignals(),
            SignalServices{folder.path(), dialogs, [this](const std::string& name) { starts.push_back(name); }},
            countdownMs);
        window->show();
    }
    QPushButton* Plan(int i) { return Find<QPushButton>(window.get(), QStringLiteral("signal_%1").arg(i)); }
    QLabel* Number() { return Find<QLabel>(window.get(), QStringLiteral("signalCountdown")); }
    QPushButton* Cancel() { return Find<QPushButton>(window.get(), QStringLiteral("signalCancel")); }
    bool PlansEnabled() {
        for (int i = 0; i < 4; ++i) {
            if (!Plan(i)->isEnabled()) return false;
        }
        return true;
    }

    test::TempFolder folder;
    test::ScriptedDialogs dialogs;
    std::vector<std::string> starts;
    std::unique_ptr<SignalWindow> window;
};

TEST_F(SignalWindowTest, OneLargeButtonPerPlanWithEmergenciesInRed) {
    Open();
    EXPECT_EQ(window->objectName(), QStringLiteral("signalWindow"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("紧急与演练"));
    const std::vector<DrillSignal> plans = DefaultDrillSignals();
    ASSERT_EQ(plans.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const DrillSignal& plan = plans[static_cast<std::size_t>(i)];
        EXPECT_EQ(Plan(i)->text().toStdString(), plan.name);
        EXPECT_EQ(Plan(i)->styleSheet().contains(QStringLiteral("#c62828")), plan.kind == DrillKind::Emergency)
            << plan.name;
        EXPECT_GE(Plan(i)->minimumHeight(), 60);
    }
    EXPECT_EQ(window->findChild<QPushButton*>(QStringLiteral("signal_4")), nullptr);
    EXPECT_NE(window->findChild<QPushButton*>(QStringLiteral("signalRecords")), nullptr);
    EXPECT_FALSE(Number()->isVisible());

    // The plans read again replace the buttons.
    window->SetPlans({plans[2]});
    EXPECT_EQ(Plan(0)->text().toStdString(), plans[2].name);
    EXPECT_EQ(window->findChild<QPushButton*>(QStringLiteral("signal_1")), nullptr);
    window->SetPlans({});
    EXPECT_EQ(window->findChild<QPushButton*>(QStringLiteral("signal_0")), nullptr);
    EXPECT_NE(window->findChild<QLabel*>(QStringLiteral("signalNoPlans")), nullptr);
    window->SetPlans(plans);
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("signalNoPlans")), nullptr) << "left from before";
    EXPECT_NE(window->findChild<QPushButton*>(QStringLiteral("signal_3")), nullptr);
}

TEST_F(SignalWindowTest, AsksOnceThenCountsDownOnScreenThenStartsOnce) {
    Open();
    dialogs.answers = {MessageAnswer::Ok};
    QTest::mouseClick(Plan(0), Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "确定要开始「地震演练」吗？");
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::OkCancel);

    ASSERT_TRUE(window->countingDown());
    EXPECT_TRUE(Number()->isVisible());
    EXPECT_TRUE(Cancel()->isVisible());
    EXPECT_FALSE(PlansEnabled()) << "a second plan must not start during the countdown";
    for (const char* shown : {"5", "4", "3", "2", "1"}) {
        EXPECT_EQ(Number()->text(), QString::fromUtf8(shown));
        EXPECT_TRUE(starts.empty()) << "started before the countdown ended";
        if (std::string(shown) != "1") Tick(*window);
    }
    Tick(*window);
    EXPECT_EQ(starts, std::vector<std::string>{"地震演练"});
    EXPECT_FALSE(window->countingDown());
    EXPECT_FALSE(Number()->isVisible());
    EXPECT_TRUE(PlansEnabled());
    EXPECT_EQ(dialogs.messages.size(), 1u) << "asked only once";

    // The real five seconds: a tick each second.
    SignalWindow real(DefaultDrillSignals(), SignalServices{folder.path(), dialogs, {}});
    dialogs.answers = {MessageAnswer::Ok};
    real.show();
    real.PlanClick(3);
    EXPECT_EQ(real.findChild<QTimer*>(QStringLiteral("signalCountdownTimer"))->interval(), 1000);
    EXPECT_EQ(real.secondsLeft(), 5);
}

TEST_F(SignalWindowTest, CancelRefusalOrClosingStartsNothing) {
    Open(100);
    // 取消 during the countdown.
    dialogs.answers = {MessageAnswer::Ok};
    QTest::mouseClick(Plan(0), Qt::LeftButton);
    ASSERT_TRUE(window->countingDown());
    QTest::mouseClick(Cancel(), Qt::LeftButton);
    EXPECT_FALSE(window->countingDown());
    EXPECT_FALSE(window->findChild<QTimer*>(QStringLiteral("signalCountdownTimer"))->isActive());
    EXPECT_TRUE(PlansEnabled());

    // A refused confirmation: no countdown at all.
    dialogs.answers = {MessageAnswer::Cancel};
    QTest::mouseClick(Plan(1), Qt::LeftButton);
    EXPECT_FALSE(window->countingDown());
    EXPECT_EQ(dialogs.messages.size(), 2u);

    // Closing the window during the countdown.
    dialogs.answers = {MessageAnswer::Ok};
    QTest::mouseClick(Plan(2), Qt::LeftButton);
    ASSERT_TRUE(window->countingDown());
    window->close();
    EXPECT_FALSE(window->countingDown());
    EXPECT_FALSE(window->findChild<QTimer*>(QStringLiteral("signalCountdownTimer"))->isActive());

    // Then one countdown runs out on its own timer: only that plan starts, once, and nothing cancelled follows.
    window->show();
    dialogs.answers = {MessageAnswer::Ok};
    QTest::mouseClick(Plan(3), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([this] { return !starts.empty(); }));
    EXPECT_FALSE(window->countingDown());
    EXPECT_EQ(starts, std::vector<std::string>{"紧急集合"});
}

TEST_F(SignalWindowTest, ARunningSignalDisablesThePlansAndIsNamed) {
    Open();
    dialogs.answers = {MessageAnswer::Ok};
    window->PlanClick(1);
    ASSERT_TRUE(window->countingDown());

    SignalView view;
    view.running = true;
    view.signal = "防空警报";
    view.kind = DrillKind::Emergency;
    view.label = "疏散";
    view.step = 1;
    view.steps = 2;
    window->ShowState(view);
    // One that began elsewhere (the command line) ends ours: it would be refused anyway.
    EXPECT_FALSE(window->countingDown());
    EXPECT_FALSE(PlansEnabled());
    auto* line = Find<QLabel>(window.get(), QStringLiteral("signalRunning"));
    EXPECT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().contains(QStringLiteral("防空警报"))) << line->text().toStdString();
    EXPECT_TRUE(line->text().contains(QStringLiteral("紧急")));

    window->PlanClick(0);
    EXPECT_EQ(dialogs.messages.size(), 1u) << "no question while one sounds";

    view.running = false;
    window->ShowState(view);
    EXPECT_TRUE(PlansEnabled());
    EXPECT_FALSE(line->isVisible());
    EXPECT_TRUE(starts.empty());
}

class SignalPanelTest : public ::testing::Test {
protected:
    SignalPanelTest() : panel({[this] { ++nexts; }, [this] { ++ends; }}, [this] { return now; }) {
        view.running = true;
        view.signal = "地震演练";
        view.label = "就地避险";
        view.step = 1;
        view.steps = 3;
        view.started = now - std::chrono::seconds(125);
    }
    template <class T>
    T* Child(const char* name) {
        return Find<T>(&panel, QString::fromUtf8(name));
    }

    Steady::time_point now = Steady::time_point() + std::chrono::hours(5);
    int nexts = 0;
    int ends = 0;
    SignalView view;
    SignalPanel panel;
};

TEST_F(SignalPanelTest, ShowsTheStepAndTimeWithNextOnlyWhenWaiting) {
    EXPECT_EQ(panel.objectName(), QStringLiteral("signalPanel"));
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    EXPECT_FALSE(panel.isVisible());

    panel.ShowState(view);
    ASSERT_TRUE(panel.isVisible());
    EXPECT_EQ(Child<QLabel>("signalLabel")->text(), QStringLiteral("就地避险"));
    EXPECT_EQ(Child<QLabel>("signalElapsed")->text(), QStringLiteral("02:05"));
    EXPECT_FALSE(Child<QPushButton>("signalNext")->isEnabled());
    EXPECT_FALSE(Child<QLabel>("signalProblem")->isVisible());

    // Time goes on: the elapsed time is read again each second, from the start, past an hour.
    now += std::chrono::seconds(3536);
    panel.UpdateElapsed();
    EXPECT_EQ(Child<QLabel>("signalElapsed")->text(), QStringLiteral("61:01"));
    EXPECT_EQ(panel.findChild<QTimer*>(QStringLiteral("signalElapsedTimer"))->interval(), 1000);
    EXPECT_TRUE(panel.findChild<QTimer*>(QStringLiteral("signalElapsedTimer"))->isActive());

    view.waitsForNext = true;
    view.step = 2;
    view.label = "疏散";
    view.problem = "「地震演练」的声音无法播放：找不到文件";
    panel.ShowState(view);
    EXPECT_EQ(Child<QLabel>("signalLabel")->text(), QStringLiteral("疏散"));
    ASSERT_TRUE(Child<QPushButton>("signalNext")->isEnabled());
    EXPECT_TRUE(Child<QLabel>("signalProblem")->isVisible());
    EXPECT_TRUE(Child<QLabel>("signalProblem")->text().contains(QStringLiteral("找不到文件")));
    QTest::mouseClick(Child<QPushButton>("signalNext"), Qt::LeftButton);
    EXPECT_EQ(nexts, 1);

    QTest::mouseClick(Child<QPushButton>("signalEnd"), Qt::LeftButton);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(nexts, 1);

    // The all-clear: no 下一步, and 结束 again silences it.
    view.ending = true;
    view.problem.clear();
    panel.ShowState(view);
    EXPECT_FALSE(Child<QPushButton>("signalNext")->isEnabled());
    EXPECT_EQ(Child<QPushButton>("signalEnd")->text(), QStringLiteral("立即停止"));
    EXPECT_FALSE(Child<QLabel>("signalProblem")->isVisible());

    view.running = false;
    panel.ShowState(view);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.findChild<QTimer*>(QStringLiteral("signalElapsedTimer"))->isActive());
}

TEST_F(SignalPanelTest, PlacedUnderTheClockWithinTheScreen) {
    panel.ShowState(view);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect clock(area.left() + 100, area.top() + 80, 120, 50);
    panel.Place(clock);
    EXPECT_EQ(panel.y(), clock.bottom() + 5);
    EXPECT_LE(panel.geometry().left(), clock.center().x());
    EXPECT_GE(panel.geometry().right(), clock.center().x());

    // A clock in the bottom right corner: above it, and not past the screen's right edge.
    const QRect corner(area.right() - 100, area.bottom() - 60, 100, 60);
    panel.Place(corner);
    EXPECT_EQ(panel.geometry().bottom(), corner.top() - 5);
    EXPECT_LE(panel.geometry().right(), area.right());
    EXPECT_GE(panel.geometry().left(), area.left());
}

// The bell log the runner and the scheduler write.
constexpr const char* kHeader =
    "date,set_time,actual_start,late_ms,job_no,job_name,path,outcome,sound_ms,peak_dbfs,output";

std::string SignalLine(const std::string& date, const std::string& time, const std::string& signal,
                       const std::string& sound, const std::string& outcome) {
    return date + "," + time.substr(0, 5) + "," + date + " " + time + ".250,,," + signal + "," + sound + "," +
           CsvField(outcome) + "\n";
}

std::string HeldLine(const std::string& date, const std::string& set, const std::string& job,
                     const std::string& reason) {
    return date + "," + set + "," + date + " " + set + ":00.010,10,3," + job + ",/m/下课铃.wav,held: " + reason + "\n";
}

void Write(const std::filesystem::path& path, const std::string& text) {
    test::WriteAll(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

class SignalRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string d1 = "2026-12-07";
        // The older file: an ordinary bell, then a drill ended by 结束 while two bells were held.
        Write(folder / "bell-log.1.csv",
              std::string(kHeader) + "\n" + d1 +
                  ",08:00,2026-12-07 08:00:00.120,120,1,第一节上课,/m/上课铃.wav,rang,140,-3.0,cap 100%\n" +
                  SignalLine(d1, "09:10:00", "地震演练", "", "signal-start: 演练 (this PC)") +
                  SignalLine(d1, "09:10:00", "地震演练", "tone:长鸣", "signal-step 1/3: 就地避险 at +00:00:00") +
                  SignalLine(d1, "09:11:30", "地震演练", "", "signal-next") +
                  SignalLine(d1, "09:11:30", "地震演练", "tone:短促", "signal-step 2/3: 疏散 at +00:01:30") +
                  HeldLine(d1, "09:12", "第二节下课", "演练 地震演练") +
                  SignalLine(d1, "09:12:05", "地震演练", "tone:解除", "signal-end-step: 解除 at +00:02:05") +
                  HeldLine(d1, "09:13", "眼保健操", "演练 地震演练") +
                  SignalLine(d1, "09:13:00", "地震演练", "", "signal-end: 用时 00:02:05 (结束)"));
        // The newer file: a damaged line, a fire drill the program stopped in (logged at the next start, the
        // next day), then an emergency from the command line still sounding.
        const std::string d2 = "2026-12-08";
        Write(folder / "bell-log.csv",
              std::string(kHeader) + "\n" + "2026-12-07,10:0\"0,garbage\n" + "not,a,line\n" +
                  SignalLine(d1, "15:00:00", "火灾疏散演练", "", "signal-start: 演练 (this PC)") +
                  SignalLine(d1, "15:00:00", "火灾疏散演练", "", "signal-volume: raised to 100% from 40%") +
                  SignalLine(d1, "15:00:00", "火灾疏散演练", "tone:长鸣", "signal-step 1/2: 疏散, 快 at +00:00:00") +
                  SignalLine(d1, "15:00:20", "火灾疏散演练", "/m/x.wav", "signal-sound-failed: 无法解码") +
                  SignalLine(d2, "07:30:00", "火灾疏散演练", "",
                             "signal-end: ended abnormally (the program stopped while it sounded)") +
                  SignalLine(d2, "09:00:00", "紧急集合", "", "signal-start: 紧急 (command line)") +
                  SignalLine(d2, "09:00:00", "紧急集合", "tone:急促", "signal-step 1/1 at +00:00:00") +
                  HeldLine(d2, "09:05", "第二节上课", "紧急 紧急集合"));
    }

    test::TempFolder folder;
    test::ScriptedDialogs dialogs;
};

TEST_F(SignalRecordsTest, GroupsEachSignalFromItsStartToItsEnd) {
    const std::vector<SignalRecord> records = ReadSignalRecords(folder.path());
    ASSERT_EQ(records.size(), 3u);

    const SignalRecord& quake = records[0];
    EXPECT_EQ(quake.date, "2026-12-07");
    EXPECT_EQ(quake.start, "09:10:00");
    EXPECT_EQ(quake.signal, "地震演练");
    EXPECT_EQ(quake.kind, "演练");
    EXPECT_EQ(quake.origin, "本机");
    EXPECT_EQ(quake.steps, (std::vector<std::string>{"+00:00:00 第1/3步 就地避险", "+00:01:30 下一步",
                                                     "+00:01:30 第2/3步 疏散", "+00:02:05 结束后：解除"}));
    EXPECT_EQ(quake.end, "09:13:00");
    EXPECT_EQ(quake.duration, "00:02:05");
    EXPECT_EQ(quake.ending, SignalEnding::Ended);
    EXPECT_EQ(SignalEndingText(quake), "结束");
    EXPECT_EQ(quake.heldBells, 2);

    const SignalRecord& fire = records[1];
    EXPECT_EQ(fire.signal, "火灾疏散演练");
    EXPECT_EQ(fire.start, "15:00:00");
    EXPECT_EQ(fire.ending, SignalEnding::Abnormal);
    EXPECT_EQ(fire.endDate, "2026-12-08");
    EXPECT_EQ(fire.end, "07:30:00");
    EXPECT_EQ(fire.duration, "");
    EXPECT_EQ(fire.heldBells, 0);
    EXPECT_EQ(fire.steps, (std::vector<std::string>{"+00:00:00 音量：raised to 100% from 40%",
                                                    "+00:00:00 第1/2步 疏散, 快", "+00:00:20 声音无法播放：无法解码"}));
    EXPECT_EQ(SignalEndingText(fire), "异常结束（程序在鸣响时停止）");

    const SignalRecord& muster = records[2];
    EXPECT_EQ(muster.kind, "紧急");
    EXPECT_EQ(muster.origin, "命令行");
    EXPECT_EQ(muster.ending, SignalEnding::Running);
    EXPECT_EQ(muster.end, "");
    EXPECT_EQ(muster.heldBells, 1);
    EXPECT_EQ(muster.steps, std::vector<std::string>{"+00:00:00 第1/1步"});

    // A start whose end never came, followed by another start: the first did not end well.
    const std::string d = "2026-12-09";
    const std::string text = std::string(kHeader) + "\n" +
                             SignalLine(d, "08:00:00", "A", "", "signal-start: 演练 (x)") +
                             SignalLine(d, "08:10:00", "B", "", "signal-start: 演练 (x)") +
                             SignalLine(d, "08:11:00", "B", "", "signal-end: 用时 00:01:00 (its steps are over)");
    const std::vector<SignalRecord> two = ParseSignalRecords({text});
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].ending, SignalEnding::Abnormal);
    EXPECT_EQ(SignalEndingText(two[1]), "步骤完成");
    // Nothing in the folder: no records, no failure.
    test::TempFolder empty;
    EXPECT_TRUE(ReadSignalRecords(empty.path()).empty());
}

TEST_F(SignalRecordsTest, WindowShowsNewestFirstAndExportsCsvWithBom) {
    SignalRecordsWindow window(folder.path(), dialogs);
    window.show();
    EXPECT_EQ(window.objectName(), QStringLiteral("signalRecordsWindow"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("演练记录"));
    auto* table = Find<QTableWidget>(&window, QStringLiteral("signalRecordsTable"));
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("紧急集合"));
    EXPECT_EQ(table->item(2, 2)->text(), QStringLiteral("地震演练"));
    EXPECT_EQ(table->horizontalHeaderItem(8)->text(), QStringLiteral("暂停的铃声"));
    EXPECT_EQ(table->item(2, 8)->text(), QStringLiteral("2"));

    const std::string expected = std::string("\xEF\xBB\xBF") +
                                 "日期,开始,预案,类型,发起,结束,用时,结束方式,暂停的铃声,步骤\n"
                                 "2026-12-08,09:00:00,紧急集合,紧急,命令行,,,进行中,1,+00:00:00 第1/1步\n"
                                 "2026-12-07,15:00:00,火灾疏散演练,演练,本机,2026-12-08 07:30:00,,"
                                 "异常结束（程序在鸣响时停止）,0,"
                                 "\"+00:00:00 音量：raised to 100% from 40%；+00:00:00 第1/2步 疏散, 快；"
                                 "+00:00:20 声音无法播放：无法解码\"\n"
                                 "2026-12-07,09:10:00,地震演练,演练,本机,09:13:00,00:02:05,结束,2,"
                                 "+00:00:00 第1/3步 就地避险；+00:01:30 下一步；+00:01:30 第2/3步 疏散；"
                                 "+00:02:05 结束后：解除\n";
    const auto out = folder / "记录.csv";
    dialogs.files = {out.string()};
    QTest::mouseClick(Find<QPushButton>(&window, QStringLiteral("signalRecordsExport")), Qt::LeftButton);
    const auto bytes = test::ReadAll(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    EXPECT_TRUE(dialogs.messages.empty());

    // Cancelled: nothing written, nothing said.
    EXPECT_FALSE(window.ExportClick());
    EXPECT_TRUE(dialogs.messages.empty());

    // A folder that is not there: the reason is shown.
    dialogs.files = {(folder / "没有这个文件夹" / "记录.csv").string()};
    EXPECT_FALSE(window.ExportClick());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("无法导出演练记录："), std::string::npos);
    EXPECT_GT(dialogs.messages[0].text.size(), std::string("无法导出演练记录：").size());
}

TEST_F(SignalRecordsTest, OpenedFromTheSignalWindow) {
    SignalWindow window(DefaultDrillSignals(), SignalServices{folder.path(), dialogs, {}});
    window.show();
    QTest::mouseClick(Find<QPushButton>(&window, QStringLiteral("signalRecords")), Qt::LeftButton);
    ASSERT_NE(window.recordsWindow(), nullptr);
    EXPECT_TRUE(window.recordsWindow()->isVisible());
    EXPECT_EQ(window.recordsWindow()->records().size(), 3u);
}

// The running panel under the floating clock, as the README shows it. Written to $LINGCHAO_SIGNAL_SHOT when set.
TEST(SignalPanelPicture, PanelUnderTheClock) {
    ClockWindow clock(ClockWindow::Hooks{});
    clock.ShowClock("9:11", "MON");
    clock.setGeometry(ClockWindow::DesignGeometry(96.0));
    clock.show();
    const Steady::time_point now = Steady::now();
    SignalPanel panel({}, [now] { return now; });
    SignalView view;
    view.running = true;
    view.signal = "地震演练";
    view.label = "疏散";
    view.step = 2;
    view.steps = 3;
    view.waitsForNext = true;
    view.started = now - std::chrono::seconds(95);
    panel.ShowState(view);
    panel.Place(clock.geometry());

    const QPixmap clockPicture = clock.grab();
    const QPixmap panelPicture = panel.grab();
    ASSERT_FALSE(clockPicture.isNull());
    ASSERT_FALSE(panelPicture.isNull());
    const QRect both = clock.geometry().united(panel.geometry()).adjusted(-24, -24, 24, 24);
    QPixmap picture(both.size());
    QPainter painter(&picture);
    QLinearGradient desktop(0, 0, 0, both.height());
    desktop.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    desktop.setColorAt(1, QColor(0x20, 0x45, 0x70));
    painter.fillRect(picture.rect(), desktop);
    painter.drawPixmap(clock.geometry().topLeft() - both.topLeft(), clockPicture);
    painter.drawPixmap(panel.geometry().topLeft() - both.topLeft(), panelPicture);
    painter.end();
    EXPECT_EQ(panel.findChild<QLabel*>(QStringLiteral("signalElapsed"))->text(), QStringLiteral("01:35"));
    if (const char* path = std::getenv("LINGCHAO_SIGNAL_SHOT")) {
        EXPECT_TRUE(picture.save(QString::fromUtf8(path)));
    }
}

}  // namespace
}  // namespace lingchao
