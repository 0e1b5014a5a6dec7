#include "ui/calendar_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTextCharFormat>
#include <QTimer>
#include <algorithm>

#include "support/block_watch.h"
#include "support/fakes.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"
#include "support/when_modal.h"
#include "ui/clock_window.h"
#include "ui/main_window.h"

namespace lingchao {
namespace {

using test::WhenModal;

constexpr CalendarDate kMonday{2026, 12, 7};

class CalendarWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "job");
        std::vector<std::uint8_t> bytes;
        for (const auto& j : {test::FixtureJob{1, "J1", "08:00", "Everyday", "START", {"/m/1.wav"}, {}},
                              test::FixtureJob{2, "J2", "08:45", "Everyday", "START", {"/m/2.wav"}, {}}}) {
            const auto r = test::FixtureRecord(j);
            bytes.insert(bytes.end(), r.begin(), r.end());
        }
        test::WriteAll(dir / "default.dll", bytes);
        test::WriteAll(dir / "job" / "期中考试.sav", bytes);
    }
    void Calendar(const std::string& body) {
        const std::string text = std::string(kCalendarHeader) + "\n" + body;
        test::WriteAll(dir / kCalendarFile, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::string File() const {
        const auto bytes = test::ReadAll(dir / kCalendarFile);
        return std::string(bytes.begin(), bytes.end());
    }
    void Open() {
        window = std::make_unique<CalendarWindow>(services);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        list = window->findChild<QTableWidget*>(QStringLiteral("entryList"));
        month = window->findChild<QCalendarWidget*>(QStringLiteral("monthView"));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(month, nullptr);
    }
    QPushButton* Button(const char* name) const { return window->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QString Colour(const QDate& d) const { return month->dateTextFormat(d).background().color().name(); }
    QString DayPlanText() const { return window->findChild<QLabel*>(QStringLiteral("dayPlan"))->text(); }

    test::TempFolder dir;
    test::ScriptedDialogs dialogs;
    test::FakeClock clock{kMonday, {8, 10, 0}};
    int changes = 0;
    CalendarServices services{dir.path(), dialogs, clock, [this] { ++changes; }, {}};
    std::unique_ptr<CalendarWindow> window;
    QTableWidget* list = nullptr;
    QCalendarWidget* month = nullptr;
};

TEST_F(CalendarWindowTest, MonthViewColoursEachDateAndTheListShowsTheEntries) {
    Calendar(
        "2026-09-01,2027-01-31,rest-weekdays,6 7,\n"
        "2026-12-24,2026-12-25,holiday,,圣诞\n"
        "2026-12-19,2026-12-19,school-day,1,调休\n"
        "2026-12-16,2026-12-16,group,期中考试.sav,\n"
        "bad,line\n");
    Open();
    EXPECT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->item(0, 2)->text(), QStringLiteral("休息日"));
    EXPECT_EQ(list->item(0, 3)->text(), QStringLiteral("周六 周日"));
    EXPECT_EQ(list->item(2, 3)->text(), QStringLiteral("用周一的铃声"));
    EXPECT_EQ(list->item(1, 4)->text(), QStringLiteral("圣诞"));
    EXPECT_EQ(Colour({2026, 12, 24}), QStringLiteral("#f6b8b0"));
    EXPECT_EQ(Colour({2026, 12, 12}), QStringLiteral("#d9d9d9"));
    EXPECT_EQ(Colour({2026, 12, 19}), QStringLiteral("#b9e4bc"));
    EXPECT_EQ(Colour({2026, 12, 16}), QStringLiteral("#b8d4f4"));
    EXPECT_EQ(month->dateTextFormat(QDate(2026, 12, 8)).background().style(), Qt::NoBrush);
    const auto* problems = window->findChild<QLabel*>(QStringLiteral("problems"));
    EXPECT_TRUE(problems->text().contains(QStringLiteral("校历第 6 行已跳过")));

    EXPECT_EQ(DayPlanText(), QStringLiteral("今天（周一）：2 个铃声，下一个 08:45 J2"));
    month->setSelectedDate(QDate(2026, 12, 19));
    EXPECT_EQ(DayPlanText(), QStringLiteral("2026-12-19（周六）：调休上课（用周一的铃声），2 个铃声"));
    EXPECT_EQ(list->currentRow(), 2) << "the entry that decides the date is selected";
}

TEST_F(CalendarWindowTest, AddTypesDatesWithAutomaticDashesAndSavesTheEntry) {
    Open();
    month->setSelectedDate(QDate(2026, 10, 1));
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("添加校历条目"));
        auto* first = d->findChild<QLineEdit*>(QStringLiteral("firstDate"));
        EXPECT_EQ(first->text(), QStringLiteral("2026-10-01"));
        auto* last = d->findChild<QLineEdit*>(QStringLiteral("lastDate"));
        last->clear();
        QTest::keyClicks(last, QStringLiteral("20261007"));
        EXPECT_EQ(last->text(), QStringLiteral("2026-10-07"));
        d->findChild<QLineEdit*>(QStringLiteral("note"))->setText(QStringLiteral("国庆节, 长假"));
        d->findChild<QPushButton*>(QStringLiteral("ok"))->click();
    });
    Button("addEntry")->click();
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n2026-10-01,2026-10-07,holiday,,\"国庆节, 长假\"\n");
    EXPECT_EQ(list->rowCount(), 1);
    EXPECT_EQ(changes, 1);

    // A rest-weekdays entry with its ticks; a make-up day with Monday's songs; a group from the chooser.
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) {
        d->findChild<QComboBox*>(QStringLiteral("kind"))->setCurrentIndex(1);
        d->findChild<QCheckBox*>(QStringLiteral("weekday_6"))->setChecked(true);
        d->findChild<QCheckBox*>(QStringLiteral("weekday_7"))->setChecked(true);
        d->findChild<QLineEdit*>(QStringLiteral("lastDate"))->setText(QStringLiteral("2027-01-31"));
        d->OkClick();
    });
    Button("addEntry")->click();
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) {
        d->findChild<QComboBox*>(QStringLiteral("kind"))->setCurrentIndex(2);
        d->findChild<QComboBox*>(QStringLiteral("songWeekday"))->setCurrentIndex(1);
        d->OkClick();
    });
    Button("addEntry")->click();
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) {
        auto* group = d->findChild<QComboBox*>(QStringLiteral("group"));
        EXPECT_EQ(group->count(), 1);
        d->findChild<QComboBox*>(QStringLiteral("kind"))->setCurrentIndex(3);
        d->OkClick();
    });
    Button("addEntry")->click();
    EXPECT_EQ(File(), std::string(kCalendarHeader) +
                          "\n2026-10-01,2026-10-07,holiday,,\"国庆节, 长假\"\n"
                          "2026-10-01,2027-01-31,rest-weekdays,6 7,\n"
                          "2026-10-01,2026-10-01,school-day,1,\n"
                          "2026-10-01,2026-10-01,group,期中考试.sav,\n");
}

TEST_F(CalendarWindowTest, TheEntryDialogRefusesBadDatesAndMissingArguments) {
    CalendarEntryDialog d(dialogs, dir / "job");
    CalendarEntry e;
    e.first = e.last = kMonday;
    d.SetEntry(e);
    d.show();
    auto* first = d.findChild<QLineEdit*>(QStringLiteral("firstDate"));
    auto* last = d.findChild<QLineEdit*>(QStringLiteral("lastDate"));
    const auto refusal = [&] {
        d.OkClick();
        return dialogs.messages.empty() ? std::string() : dialogs.messages.back().text;
    };
    first->setText(QStringLiteral("2026-1-1"));
    EXPECT_EQ(refusal(), "日期格式错误！");
    first->setText(QStringLiteral("2026-12-07"));
    last->setText(QStringLiteral("2026-12-06"));
    EXPECT_EQ(refusal(), "结束日期早于开始日期！");
    last->clear();
    d.findChild<QComboBox*>(QStringLiteral("kind"))->setCurrentIndex(1);
    EXPECT_EQ(refusal(), "请勾选休息的星期！");
    EXPECT_EQ(dialogs.messages.back().title, "提示");
    EXPECT_TRUE(d.isVisible());
}

TEST_F(CalendarWindowTest, RemoveAsksFirst) {
    Calendar("2026-12-24,2026-12-25,holiday,,圣诞\n");
    Open();
    list->selectRow(0);
    Button("removeEntry")->click();  // no answer: cancelled
    EXPECT_EQ(dialogs.messages.back().text, "确定要移除这个校历条目吗？");
    EXPECT_EQ(dialogs.messages.back().defaultButton, 1);
    EXPECT_EQ(list->rowCount(), 1);
    dialogs.answers.push_back(MessageAnswer::Ok);
    Button("removeEntry")->click();
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n");
}

TEST_F(CalendarWindowTest, ImportShowsWhatItAddsSkipsDuplicatesAndRefusesOtherFiles) {
    Calendar("2026-10-01,2026-10-07,holiday,,国庆\n");
    Open();
    const std::string ics = std::string(LINGCHAO_TEST_DATA) + "/holidays-2026.ics";
    dialogs.files.push_back(ics);
    WhenModal<IcsPreviewDialog>([](IcsPreviewDialog* d) {
        EXPECT_EQ(d->findChild<QLabel*>(QStringLiteral("summary"))->text(),
                  QStringLiteral("将添加 14 个条目（已有的 1 个跳过）："));
        const auto* rows = d->findChild<QTableWidget*>(QStringLiteral("previewList"));
        EXPECT_EQ(rows->rowCount(), 14);
        EXPECT_EQ(
            rows->item(0, 0)->text() + rows->item(0, 1)->text() + rows->item(0, 2)->text() + rows->item(0, 3)->text(),
            QStringLiteral("2026-01-012026-01-03放假元旦"));
        d->accept();  // the notes name no weekday: each make-up day keeps its own
    });
    Button("importIcs")->click();  // the weekends question after it gets no answer: No
    EXPECT_EQ(dialogs.fileRequests.back().filter, "iCalendar 日历(*.ics)|*.ics|所有文件(*.*)|*.*|");
    EXPECT_EQ(list->rowCount(), 15);
    EXPECT_TRUE(File().find("2026-10-10,2026-10-10,school-day,,国庆节 上班") != std::string::npos) << File();
    month->setSelectedDate(QDate(2026, 10, 10));
    EXPECT_EQ(DayPlanText(), QStringLiteral("2026-10-10（周六）：调休上课，2 个铃声"));

    // The holiday file alone leaves every weekend ringing: the import says so and offers the weekends.
    const std::string offer =
        "导入的调休上课日（如 2026-01-04）只在休息日才起作用，而校历没有说这些日期每周哪几天休息：周六、周日仍会照常"
        "响铃。\n\n要把 2026-01-01 至 2027-09-18 的周六、周日设为休息日吗？";
    EXPECT_EQ(dialogs.messages.back().text, offer);
    EXPECT_EQ(dialogs.messages.back().buttons, MessageButtons::YesNo);
    dialogs.answers.push_back(MessageAnswer::Yes);
    EXPECT_TRUE(window->ImportFile(ics));
    EXPECT_EQ(dialogs.messages.back().text, "文件中的 15 个条目校历中都已有。\n" + offer);
    EXPECT_EQ(list->rowCount(), 16);
    EXPECT_TRUE(File().ends_with("\n2026-01-01,2027-09-18,rest-weekdays,6 7,周末\n")) << File();
    month->setSelectedDate(QDate(2026, 10, 17));
    EXPECT_EQ(DayPlanText(), QStringLiteral("2026-10-17（周六）：休息日，不响铃"));
    month->setSelectedDate(QDate(2026, 10, 10));
    EXPECT_EQ(DayPlanText(), QStringLiteral("2026-10-10（周六）：调休上课，2 个铃声"));

    EXPECT_FALSE(window->ImportFile(ics));
    EXPECT_EQ(dialogs.messages.back().text, "文件中的 15 个条目校历中都已有，无需导入。");
    EXPECT_FALSE(window->ImportFile((dir / "default.dll").string()));
    EXPECT_EQ(dialogs.messages.back().text, "这不是 iCalendar 日历文件（.ics），无法导入。");
    EXPECT_EQ(list->rowCount(), 16);
}

TEST_F(CalendarWindowTest, ImportedMakeUpDaysRingTheChosenWeekdayARowsOwnChoiceWinning) {
    EXPECT_EQ(IcsPreviewDialog::NamedWeekday("国庆节 补班"), 0);
    EXPECT_EQ(IcsPreviewDialog::NamedWeekday("调休上班（补周四的课）"), 4);
    EXPECT_EQ(IcsPreviewDialog::NamedWeekday("按星期天课表上课"), 7);
    EXPECT_EQ(IcsPreviewDialog::NamedWeekday("上周五的班，周末补"), 5);
    EXPECT_EQ(IcsPreviewDialog::NamedWeekday("周一周二的课"), 0) << "two days: not for us to guess";

    Calendar("2026-01-01,2027-12-31,rest-weekdays,6 7,周末\n");
    Open();
    const std::string ics =
        "BEGIN:VCALENDAR\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261001\r\nDTEND;VALUE=DATE:20261008\r\nSUMMARY:国庆节\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20260920\r\nSUMMARY:补班（补周四的课）\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261010\r\nSUMMARY:国庆节 补班\r\nEND:VEVENT\r\n"
        "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20261017\r\nSUMMARY:运动会 补班\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n";
    test::WriteAll(dir / "makeup.ics", std::vector<std::uint8_t>(ics.begin(), ics.end()));
    const auto songsOf = [](IcsPreviewDialog* d) {
        std::vector<int> out;
        const auto* rows = d->findChild<QTableWidget*>(QStringLiteral("previewList"));
        for (int r = 0; r < rows->rowCount(); ++r) {
            auto* c = qobject_cast<QComboBox*>(rows->cellWidget(r, 4));
            out.push_back(c != nullptr ? c->currentIndex() : -1);
        }
        return out;
    };
    WhenModal<IcsPreviewDialog>([&](IcsPreviewDialog* d) {
        auto* all = d->findChild<QComboBox*>(QStringLiteral("makeUpSongs"));
        ASSERT_TRUE(all->isVisibleTo(d));
        EXPECT_EQ(all->currentIndex(), IcsPreviewDialog::kStandsInFor);
        // Rows as in the file: 10-01 holiday, 09-20 (names 周四), 10-10, 10-17.
        EXPECT_EQ(songsOf(d), (std::vector<int>{-1, 4, 0, 0}));
        all->setCurrentIndex(1);
        EXPECT_EQ(songsOf(d), (std::vector<int>{-1, 1, 1, 1}));
        const auto* rows = d->findChild<QTableWidget*>(QStringLiteral("previewList"));
        qobject_cast<QComboBox*>(rows->cellWidget(3, 4))->setCurrentIndex(0);  // 运动会: its own Saturday
        qobject_cast<QComboBox*>(rows->cellWidget(2, 4))->setCurrentIndex(5);
        all->setCurrentIndex(3);
        EXPECT_EQ(songsOf(d), (std::vector<int>{-1, 3, 5, 0}));
        d->accept();
    });
    ASSERT_TRUE(window->ImportFile((dir / "makeup.ics").string()));
    const std::string file = File();
    for (const char* line :
         {"\n2026-09-20,2026-09-20,school-day,3,补班（补周四的课）\n",
          "\n2026-10-10,2026-10-10,school-day,5,国庆节 补班\n", "\n2026-10-17,2026-10-17,school-day,,运动会 补班\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << "\n" << file;
    EXPECT_EQ(ResolveDay(ReadCalendar(dir / kCalendarFile).entries, {2026, 10, 10}).songWeekday, 5);

    // Cancel adds nothing.
    Calendar("");
    window->Reload();
    WhenModal<IcsPreviewDialog>([](IcsPreviewDialog* d) { d->reject(); });
    EXPECT_FALSE(window->ImportFile((dir / "makeup.ics").string()));
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n");
}

TEST_F(CalendarWindowTest, ChangesKeepTheLinesTheReaderSkipsAndTheirWarning) {
    const std::string bad =
        "2026-10-01,2026-10-07,holiday,,国庆节,中秋节\n"
        "2027-04-31,,holiday,,\n"
        "2026-12-24,2026-12-25,holidy,,圣诞\n";
    Calendar("2026-12-19,2026-12-19,school-day,1,调休\n" + bad + "2026-12-16,2026-12-16,group,期中考试.sav,\n");
    const std::string before = File();
    TodayCommands commands(services);
    ASSERT_TRUE(commands.Silence());
    EXPECT_EQ(File(), std::string(kCalendarHeader) +
                          "\n2026-12-07,2026-12-07,today-silent,,\n"
                          "2026-12-19,2026-12-19,school-day,1,调休\n" +
                          bad + "2026-12-16,2026-12-16,group,期中考试.sav,\n");
    const auto backup = test::ReadAll(dir / kCalendarBackupFile);
    EXPECT_EQ(std::string(backup.begin(), backup.end()), before);
    DayBells today = BellsOfDate(dir.path(), kMonday);
    EXPECT_TRUE(today.plan.rule.silenced);
    EXPECT_EQ(today.calendarProblems.size(), 3u) << "the warning stays until the lines are mended";

    // The window edits an entry in its place and removes one; the unreadable lines stay where they were.
    Open();
    list->selectRow(2);
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) {
        d->findChild<QLineEdit*>(QStringLiteral("note"))->setText(QStringLiteral("期中考试"));
        d->OkClick();
    });
    Button("editEntry")->click();
    list->selectRow(1);
    dialogs.answers.push_back(MessageAnswer::Ok);
    Button("removeEntry")->click();
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n2026-12-07,2026-12-07,today-silent,,\n" + bad +
                          "2026-12-16,2026-12-16,group,期中考试.sav,期中考试\n");
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("problems"))->isVisibleTo(window.get()));

    // The file changed elsewhere since the list was read: the entry shown is not removed blindly.
    const std::string elsewhere = std::string(kCalendarHeader) + "\n" + bad;
    Calendar(bad);
    list->selectRow(1);
    dialogs.answers.push_back(MessageAnswer::Ok);
    Button("removeEntry")->click();
    EXPECT_TRUE(dialogs.messages.back().text.starts_with("校历文件已在别处更改")) << dialogs.messages.back().text;
    EXPECT_EQ(File(), elsewhere);
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(CalendarWindowTest, TodayOnlyOnAFullCalendarSilencesTheDayAndCutsNothing) {
    std::string body;
    for (int i = 0; i < static_cast<int>(kCalendarMaxEntries); ++i)
        body += DateText(CivilFromDays(DaysFromCivil({2030, 1, 1}) + i)) + ",,holiday,,\n";
    body += "2026-12-08,2026-12-08,holiday,,过了上限\n";
    Calendar(body);
    TodayCommands commands(services);
    ASSERT_TRUE(commands.Silence());
    const DayBells today = BellsOfDate(dir.path(), kMonday);
    EXPECT_TRUE(today.plan.rule.silenced);
    EXPECT_TRUE(today.bells.empty());
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n2026-12-07,2026-12-07,today-silent,,\n" + body);
    ASSERT_TRUE(commands.Restore());
    EXPECT_TRUE(BellsOfDate(dir.path(), kMonday).plan.Rings());
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n" + body);
}

// On a follower the calendar is the main's: no change is written, neither today's nor the window's, and the
// reason is told.
TEST_F(CalendarWindowTest, AHeldCalendarIsNotChangedAndSaysWhy) {
    Calendar("2026-12-25,2026-12-25,holiday,,圣诞\n");
    const std::string before = File();
    services.readOnly = [] { return std::string("校历和今天的改动由主控（一中）下发，请在主控上修改"); };
    TodayCommands commands(services);
    EXPECT_FALSE(commands.AskSilence());  // told at once, not asked first
    EXPECT_FALSE(commands.Shift(10));
    Open();
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) { d->OkClick(); });
    Button("addEntry")->click();
    EXPECT_EQ(File(), before);
    EXPECT_EQ(changes, 0);
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages.back().text, "校历和今天的改动由主控（一中）下发，请在主控上修改");
}

TEST_F(CalendarWindowTest, AFileOfBadLinesOrABigImportIsShownInShort) {
    std::string bad;
    while (bad.size() < kCalendarMaxBytes - 4096) bad += "<b>bad</b> line\n";
    Calendar(bad);
    Open();
    const auto* problems = window->findChild<QLabel*>(QStringLiteral("problems"));
    EXPECT_EQ(problems->textFormat(), Qt::PlainText);
    EXPECT_TRUE(
        problems->text().endsWith(QStringLiteral("\n校历第 2、3、4、5、6 等 100 行已跳过：应有 5 列，此行有 1 列")))
        << problems->text().toStdString();

    // Thousands of daily events: what fits is read (the same dates only once), and what was left out is said.
    Calendar("");
    window->Reload();
    std::string ics = "BEGIN:VCALENDAR\r\n";
    for (int i = 0; i < 20000; ++i)
        ics += "BEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20260101\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n";
    test::WriteAll(dir / "daily.ics", std::vector<std::uint8_t>(ics.begin(), ics.end()));
    std::string shown;
    WhenModal<IcsPreviewDialog>([&](IcsPreviewDialog* d) {
        shown = d->findChild<QLabel*>(QStringLiteral("summary"))->text().toStdString();
        EXPECT_FALSE(d->findChild<QComboBox*>(QStringLiteral("makeUpSongs"))->isVisibleTo(d)) << "no make-up day";
        d->accept();
    });
    EXPECT_TRUE(window->ImportFile((dir / "daily.ics").string()));
    EXPECT_TRUE(shown.starts_with("将添加 402 个条目（已有的 2598 个跳过）：")) << shown;
    EXPECT_TRUE(
        shown.ends_with("：\n条目太多，只导入了前 3000 个，另有 19992 个全天日程未导入；8 个重复的日程只导入了首个"
                        "日期和 2026-12-07 至 2028-01-11 之间的日期。"))
        << shown;
    EXPECT_EQ(list->rowCount(), 402);
}

TEST_F(CalendarWindowTest, AFailedSaveIsToldAndTheListShowsTheFileAsItIs) {
    std::filesystem::create_directories(dir / kCalendarFile / "x");  // nothing can replace a folder
    Open();
    WhenModal<CalendarEntryDialog>([](CalendarEntryDialog* d) { d->OkClick(); });
    Button("addEntry")->click();
    EXPECT_TRUE(dialogs.messages.back().text.starts_with("无法保存校历：")) << dialogs.messages.back().text;
    EXPECT_EQ(dialogs.messages.back().title, "提示");
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(CalendarWindowTest, TodayOnlyItemsNameTheNextBellAndWriteTodaysDate) {
    TodayCommands commands(services);
    QMenu menu;
    QAction* last = menu.addAction(QStringLiteral("退出(&Q)"));
    commands.AddTo(&menu, last);
    const auto item = [&](const char* name) { return menu.findChild<QAction*>(QString::fromLatin1(name)); };
    ASSERT_NE(item("skipNext"), nullptr);
    EXPECT_EQ(menu.actions().back(), last);

    clock.Set(kMonday, {8, 0, 30});
    emit menu.aboutToShow();
    EXPECT_EQ(item("skipNext")->text(), QStringLiteral("跳过 08:45 J2"));
    EXPECT_FALSE(item("restoreToday")->isEnabled());

    clock.Set(kMonday, {7, 50, 0});
    EXPECT_TRUE(commands.SkipNext());
    WhenModal<ShiftDialog>([](ShiftDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("今日推迟"));
        d->spin()->setValue(10);
        d->accept();
    });
    commands.AskShift(nullptr);
    EXPECT_EQ(File(), std::string(kCalendarHeader) +
                          "\n2026-12-07,2026-12-07,today-skip,08:00 1,\n"
                          "2026-12-07,2026-12-07,today-shift,10 07:50,\n");
    emit menu.aboutToShow();
    EXPECT_EQ(item("skipNext")->text(), QStringLiteral("跳过 08:55 J2")) << "the next bell, shifted";
    EXPECT_TRUE(item("restoreToday")->isEnabled());
    EXPECT_TRUE(commands.Silence());
    emit menu.aboutToShow();
    EXPECT_FALSE(item("silenceToday")->isEnabled());
    EXPECT_FALSE(item("skipNext")->isEnabled());
    EXPECT_EQ(changes, 3);

    // The next day the changes are gone; the next write drops them from the file.
    clock.Set({2026, 12, 8}, {7, 0, 0});
    emit menu.aboutToShow();
    EXPECT_EQ(item("skipNext")->text(), QStringLiteral("跳过 08:00 J1"));
    EXPECT_TRUE(commands.Restore());
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n");
}

// Stopping or skipping a bell from the clock's menu never waits for 校历 or its entry dialog to close.
TEST_F(CalendarWindowTest, TheCalendarBlocksOnlyTheMainWindowItOpensOverNeverTheClock) {
    QWidget mainWindow;
    mainWindow.setGeometry(10, 10, 300, 200);
    ClockWindow face(ClockWindow::Hooks{});
    test::BlockWatch watch;
    mainWindow.installEventFilter(&watch);
    face.installEventFilter(&watch);
    face.show();
    QMenu jobMenu(&mainWindow);  // 任务(J): the calendar opens over the window that owns the menu
    TodayCommands commands(services);
    commands.AddTo(&jobMenu);
    QAction* open = jobMenu.findChild<QAction*>(QStringLiteral("calendar"));
    ASSERT_NE(open, nullptr);

    mainWindow.show();
    bool sawEntryDialog = false;
    WhenModal<CalendarWindow>([&](CalendarWindow* w) {
        EXPECT_EQ(w->windowModality(), Qt::WindowModal);
        EXPECT_EQ(w->parentWidget(), &mainWindow);
        EXPECT_TRUE(QTest::qWaitFor([&] { return watch.Blocked(&mainWindow); }));
        EXPECT_FALSE(watch.Blocked(&face));
        commands.OpenCalendar(&mainWindow);  // a second opening raises this one rather than nesting another
        WhenModal<CalendarEntryDialog>([&](CalendarEntryDialog* d) {
            sawEntryDialog = true;
            QApplication::processEvents();
            EXPECT_FALSE(watch.Blocked(&face)) << "the entry dialog";
            d->reject();
            QTimer::singleShot(0, w, &QDialog::accept);
        });
        w->findChild<QPushButton*>(QStringLiteral("addEntry"))->click();
    });
    open->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return sawEntryDialog; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_FALSE(watch.Blocked(&mainWindow));

    // From the clock's menu, with the main window hidden: over nothing, centred on the screen.
    mainWindow.hide();
    QWidget clockMenuOwner;  // never shown
    WhenModal<CalendarWindow>([&](CalendarWindow* w) {
        EXPECT_EQ(w->parentWidget(), nullptr);
        const QPoint screenCentre = w->screen()->availableGeometry().center();
        EXPECT_LE((w->geometry().center() - screenCentre).manhattanLength(), 2);
        QApplication::processEvents();
        EXPECT_TRUE(watch.blocked.empty());
        w->accept();
    });
    commands.OpenCalendar(&clockMenuOwner);
}

TEST_F(CalendarWindowTest, SilencingTheDayFromTheMenuAsksFirstAndCancelChangesNothing) {
    Calendar("");
    TodayCommands commands(services);
    EXPECT_FALSE(commands.AskSilence());  // no scripted answer: the box's Cancel
    ASSERT_EQ(dialogs.messages.size(), 1U);
    const MessageRequest& asked = dialogs.messages.back();
    EXPECT_EQ(asked.text.substr(0, asked.text.find('\n')), "今天剩下的铃声都不响了，确定吗？");
    EXPECT_EQ(asked.icon, MessageIcon::Question);
    EXPECT_EQ(asked.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(asked.defaultButton, 1) << "Cancel is the default";
    EXPECT_EQ(File(), std::string(kCalendarHeader) + "\n");
    EXPECT_EQ(changes, 0);

    QMenu menu;
    commands.AddTo(&menu);
    dialogs.answers.push_back(MessageAnswer::Ok);
    menu.findChild<QAction*>(QStringLiteral("silenceToday"))->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return changes == 1; }));
    EXPECT_EQ(dialogs.messages.size(), 2U);
    EXPECT_TRUE(BellsOfDate(dir.path(), kMonday).plan.rule.silenced);
}

TEST_F(CalendarWindowTest, TheListKeepsItsColumnWidthsAndChoosingAnEntryTurnsTheMonth) {
    Calendar("2026-07-01,2026-08-31,holiday,,暑假\n2027-03-01,2027-03-01,holiday,,一个很长很长很长很长的备注\n");
    Open();
    QHeaderView* header = list->horizontalHeader();
    header->resizeSection(2, 150);
    window->Reload();
    EXPECT_EQ(header->sectionSize(2), 150) << "a reload keeps the width the user gave";

    list->setCurrentCell(1, 0);
    EXPECT_EQ(month->yearShown(), 2027);
    EXPECT_EQ(month->monthShown(), 3);
    // A date inside the summer holiday selects its entry; the page stays on the date's own month.
    month->setSelectedDate(QDate(2026, 8, 20));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(month->monthShown(), 8);
    list->setCurrentCell(1, 0);
    list->setCurrentCell(0, 0);
    EXPECT_EQ(month->monthShown(), 7) << "the entry's first month";
}

TEST_F(CalendarWindowTest, WithNoGroupYetTheEntryDialogSaysHowToMakeOne) {
    std::filesystem::remove(dir / "job" / "期中考试.sav");
    CalendarEntryDialog dialog(dialogs, dir / "job");
    dialog.show();
    auto* kind = dialog.findChild<QComboBox*>(QStringLiteral("kind"));
    auto* hint = dialog.findChild<QLabel*>(QStringLiteral("noGroup"));
    ASSERT_NE(hint, nullptr);
    EXPECT_FALSE(hint->isVisible());
    kind->setCurrentIndex(kind->findText(QStringLiteral("任务组")));
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().startsWith(QStringLiteral("先在主窗口用“文件 → 保存(S)”把任务表存成任务组")));
    dialog.findChild<QLineEdit*>(QStringLiteral("firstDate"))->setText(QStringLiteral("2026-12-16"));
    dialog.OkClick();
    EXPECT_TRUE(dialogs.messages.back().text.starts_with("还没有任务组。先在主窗口")) << dialogs.messages.back().text;
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(CalendarWindowTest, ThePlanShowsUnderTheListAndOnTheClockWithItsMark) {
    ClockWindow face({});
    face.ShowProblems("今日有铃声无法播放：");
    face.ShowPlan("今天（周一）：2 个铃声\n明天（周二）：2 个铃声", "");
    EXPECT_FALSE(face.todayChangeShown());
    face.ShowPlan("今天（周一）：2 个铃声\n明天（周二）：2 个铃声", "今天已推迟 10 分钟");
    EXPECT_TRUE(face.todayChangeShown());
    EXPECT_EQ(
        face.findChild<QWidget*>(QStringLiteral("Image1"))->toolTip(),
        QStringLiteral("今日有铃声无法播放：\n\n今天（周一）：2 个铃声\n明天（周二）：2 个铃声\n今天已推迟 10 分钟"));
    face.ShowProblems("");
    EXPECT_TRUE(
        face.findChild<QWidget*>(QStringLiteral("Image1"))->toolTip().startsWith(QStringLiteral("今天（周一）")));

    test::FakePlayer player;
    Jilu jilu(dir.path(), nullptr, [] {});
    Form4 form({jilu, dialogs, player, [](const JobRecord& r) { return MusicForWeekday(r, 1); }});
    form.ShowMainWindow();
    const int height = form.height();
    form.ShowPlanLine("今天（周一）：2 个铃声，下一个 08:45 J2\n明天（周二）：2 个铃声");
    auto* line = form.findChild<QLabel*>(QStringLiteral("planLine"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("今天（周一）：2 个铃声，下一个 08:45 J2\n明天（周二）：2 个铃声"));
    EXPECT_GT(form.height(), height) << "the line is below the designed client area, not over the buttons";
    EXPECT_TRUE(line->isVisible());
}

}  // namespace
}  // namespace lingchao
