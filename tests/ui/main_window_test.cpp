#include "ui/main_window.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "platform/qt_dialogs.h"
#include "scheduler/checktime.h"
#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/when_modal.h"
#include "ui/job_editor.h"
#include "ui/twips.h"

namespace lingchao {
namespace {

using Names = std::vector<std::string>;

using test::WhenModal;

class MainWindowTest : public ::testing::Test {
protected:
    void Open(int jobs) {
        if (jobs > 0) test::WriteNumberedGroup(group(), jobs);
        form = std::make_unique<Form4>(
            Form4::Services{jilu, *dialogs, player, [](const JobRecord& r) { return MusicForWeekday(r, 1); }});
        form->ShowMainWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        list = form->findChild<QListWidget*>(QStringLiteral("List1"));
        ASSERT_NE(list, nullptr);
    }
    std::filesystem::path group() const { return dir / "default.dll"; }
    QPushButton* Button(const char* name) const { return form->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QAction* Action(const char* name) const { return form->findChild<QAction*>(QString::fromLatin1(name)); }
    QPoint RowCentre(int row) const { return list->visualItemRect(list->item(row)).center(); }
    std::string Row(int row) const { return form->RowText(row); }

    test::TempFolder dir;
    test::ScriptedDialogs scripted;
    Dialogs* dialogs = &scripted;
    test::FakePlayer player;
    int rebuilds = 0;
    Jilu jilu{dir.path(), nullptr, [this] { ++rebuilds; }};
    std::unique_ptr<Form4> form;
    QListWidget* list = nullptr;
};

TEST_F(MainWindowTest, ShowsTheTitleTheFixedClientAreaAndNoMaximiseButton) {
    Open(2);
    EXPECT_EQ(form->objectName(), QStringLiteral("Form4"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("铃潮V4.0"));
    const double dpi = LogicalDpiOf(form.get());
    EXPECT_EQ(form->centralWidget()->size(), QSize(TwipsToPixels(6924, dpi), TwipsToPixels(4080, dpi)));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(list->geometry(), TwipsRect(360, 600, 6180, 2856, dpi));
    EXPECT_EQ(Button("Command1_0")->text(), QStringLiteral("全部暂停(&A)"));
    EXPECT_EQ(Button("Command2_3")->text(), QStringLiteral("名  称"));
    EXPECT_EQ(list->count(), 2);
}

TEST_F(MainWindowTest, RowColumnsStartUnderTheirHeaderButtons) {
    Open(1);
    const double dpi = LogicalDpiOf(form.get());
    const int column = TwipsToPixels(105, dpi);
    const int textLeft = list->x() + list->viewport()->x() + list->visualItemRect(list->item(0)).x() + 1;
    // State at column 0, date at 8, time at 21, name at 29 of the row text.
    const std::array<std::pair<const char*, int>, 4> columns{
        {{"Command2_0", 0}, {"Command2_1", 8}, {"Command2_2", 21}, {"Command2_3", 29}}};
    for (const auto& [name, col] : columns) {
        EXPECT_NEAR(textLeft + col * column, Button(name)->x(), column) << name;
    }
    // Thirteen rows fill the list, as the right-click test assumes.
    EXPECT_EQ(list->visualItemRect(list->item(0)).height(), TwipsToPixels(2856, dpi) / 13);
}

TEST_F(MainWindowTest, MenusHaveEveryItemInOrder) {
    Open(0);
    const auto entries = [](const QMenu* menu) {
        Names out;
        for (const QAction* a : menu->actions()) {
            out.push_back(a->isSeparator()
                              ? "-"
                              : a->objectName().toStdString() + " " + a->text().toStdString() +
                                    (a->shortcut().isEmpty() ? "" : " " + a->shortcut().toString().toStdString()));
        }
        return out;
    };
    Names bar;
    for (const QAction* a : form->menuBar()->actions())
        bar.push_back(a->menu()->objectName().toStdString() + " " + a->text().toStdString());
    EXPECT_EQ(bar, (Names{"file 文件(&F)", "job 任务(&J)", "music 播放器(&P)", "help 帮助(&H)"}));
    const auto menu = [this](const char* name) { return form->findChild<QMenu*>(QString::fromLatin1(name)); };
    EXPECT_EQ(entries(menu("file")), (Names{"open 打开(&O)", "save 保存(&S)", "-", "tidy 整理音乐路径…",
                                            "importold 导入旧电脑的文件…", "-", "quit 退出(&Q)"}));
    EXPECT_EQ(entries(menu("job")), (Names{"runjob 执行任务(&R)", "-", "newjob 新建任务(&N)", "editjob 编辑任务(&E)",
                                           "deletejob 移除任务(&M)", "clearjob 清空任务(&C)", "-", "up 上移(&U)",
                                           "down 下移(&D)", "-", "playjob 开始(&S)", "pausejob 暂停(&P)",
                                           "playall 全部开始", "pauseall 全部暂停", "-", "shuttime 定时关机(&S)"}));
    EXPECT_EQ(entries(menu("music")),
              (Names{"wmp 音乐列表(&L)", "-", "play 播放 Ctrl+P", "pause 暂停 Ctrl+A", "stop 停止 Ctrl+S"}));
    EXPECT_EQ(entries(menu("help")), (Names{"about 关于(&A)"}));
    EXPECT_EQ(entries(menu("rightm")), (Names{"runjobr 执行任务(&R)", "-", "editjobr 编辑任务(&E)",
                                              "deletejobr 移除任务(&M)", "clearjobr 清空任务(&C)"}));
}

TEST_F(MainWindowTest, PlayerShortcutsAndLaterMenuItemsCallTheirHooks) {
    Open(1);
    Names calls;
    form->SetPlayerCommands(
        {[&] { calls.push_back("play"); }, [&] { calls.push_back("pause"); }, [&] { calls.push_back("stop"); }});
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(calls, (Names{"play", "pause", "stop"}));

    for (const char* name : {"open", "save", "quit", "shuttime", "wmp", "about"})
        Action(name)->trigger();  // unset: nothing
    form->hooks().shuttime = [&] { calls.push_back("shuttime"); };
    form->hooks().about = [&] { calls.push_back("about"); };
    Action("shuttime")->trigger();
    Action("about")->trigger();
    EXPECT_EQ(calls, (Names{"play", "pause", "stop", "shuttime", "about"}));
}

TEST_F(MainWindowTest, FileMenuSavesAByteIdenticalGroupAndOpensOneWithNothingSelected) {
    std::filesystem::create_directory(dir / "job");
    Open(3);
    scripted.files = {(dir / "job" / "周一").string()};
    Action("save")->trigger();
    EXPECT_EQ(test::ReadAll(dir / "job" / "周一.sav"), test::ReadAll(group()));

    test::WriteNumberedGroup(dir / "job" / "five.sav", 5);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(1));
    scripted.answers = {MessageAnswer::No};
    scripted.files = {(dir / "job" / "five.sav").string()};
    Action("open")->trigger();
    EXPECT_EQ(list->count(), 5);
    EXPECT_EQ(form->SelectedRow(), -1);
    EXPECT_EQ(test::ReadAll(group()), test::ReadAll(dir / "job" / "five.sav"));
}

TEST_F(MainWindowTest, AltLPutsTheFocusOnTheList) {
    Open(2);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    Button("Command1_2")->setFocus();
    ASSERT_FALSE(list->hasFocus());
    QTest::keyClick(form.get(), Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return list->hasFocus(); }, 20000));  // a mnemonic clicks after a flash
}

TEST_F(MainWindowTest, DoubleClickTogglesTheSelectedJobAndKeepsItSelected) {
    Open(3);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(1));
    ASSERT_EQ(form->SelectedRow(), 1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(Row(1).substr(0, 5), "PAUSE");
    EXPECT_EQ(form->SelectedRow(), 1);
    EXPECT_EQ(std::string(TrimRight(GroupFile(group()).Read(2).JobState)), "PAUSE");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(Row(1).substr(0, 5), "START");
    EXPECT_EQ(form->SelectedRow(), 1);
    EXPECT_EQ(Row(0).substr(0, 5), "START");
}

TEST_F(MainWindowTest, ToggleButtonPausesAndStartsAllAndFlipsItsCaption) {
    Open(3);
    QPushButton* toggle = Button("Command1_0");
    toggle->click();
    EXPECT_EQ(toggle->text(), QStringLiteral("全部开始(&A)"));
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Row(r).substr(0, 5), "PAUSE");
    toggle->click();
    EXPECT_EQ(toggle->text(), QStringLiteral("全部暂停(&A)"));
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Row(r).substr(0, 5), "START");
    Action("pauseall")->trigger();
    EXPECT_EQ(toggle->text(), QStringLiteral("全部开始(&A)"));
}

TEST_F(MainWindowTest, ToggleOnAnEmptyListKeepsItsCaption) {
    Open(0);
    QPushButton* toggle = Button("Command1_0");
    toggle->click();
    EXPECT_EQ(toggle->text(), QStringLiteral("全部暂停(&A)"));
    Action("pauseall")->trigger();
    EXPECT_EQ(toggle->text(), QStringLiteral("全部暂停(&A)"));
}

struct RemoveRow {
    int jobs;
    int selected;
    MessageAnswer answer;
    Names after;
    int selectedAfter;
};

class RemoveTest : public MainWindowTest, public ::testing::WithParamInterface<RemoveRow> {};

TEST_P(RemoveTest, RemovesAndReselects) {
    const RemoveRow& row = GetParam();
    Open(row.jobs);
    form->SelectRow(row.selected);
    scripted.answers = {row.answer};
    Button("Command1_3")->click();
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].text, "确定要删除任务吗?");
    EXPECT_EQ(test::NamesAndNumbers(group()), row.after);
    EXPECT_EQ(list->count(), static_cast<int>(row.after.size()));
    EXPECT_EQ(form->SelectedRow(), row.selectedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RemoveTest,
    ::testing::Values(RemoveRow{3, 1, MessageAnswer::Ok, {"1:J1", "2:J3"}, 1},              // the former third job
                      RemoveRow{3, 2, MessageAnswer::Ok, {"1:J1", "2:J2"}, 1},              // the new last row
                      RemoveRow{1, 0, MessageAnswer::Ok, {}, -1},                           // the only job
                      RemoveRow{3, 2, MessageAnswer::Cancel, {"1:J1", "2:J2", "3:J3"}, 1},  // cancel moves it up
                      RemoveRow{3, 1, MessageAnswer::Cancel, {"1:J1", "2:J2", "3:J3"}, 1}));

TEST_F(MainWindowTest, RightClickBelowTheRowsDoesNothing) {
    Open(2);
    form->SelectRow(0);
    QMenu* rightm = form->findChild<QMenu*>(QStringLiteral("rightm"));
    const QPoint below(RowCentre(1).x(), list->viewport()->height() - 5);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, below);
    EXPECT_FALSE(rightm->isVisible());
    EXPECT_EQ(form->SelectedRow(), 0);
}

TEST_F(MainWindowTest, RightClickOnAnEmptyListDoesNothing) {
    Open(0);
    QMenu* rightm = form->findChild<QMenu*>(QStringLiteral("rightm"));
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(20, 5));
    EXPECT_FALSE(rightm->isVisible());
}

TEST_F(MainWindowTest, RightClickOnARowSelectsItAndOpensTheMenu) {
    Open(5);
    form->SelectRow(4);
    QMenu* rightm = form->findChild<QMenu*>(QStringLiteral("rightm"));
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, RowCentre(1));
    EXPECT_EQ(form->SelectedRow(), 1);
    EXPECT_TRUE(rightm->isVisible());
    // The menu's items act on the row just selected.
    scripted.answers = {MessageAnswer::Ok};
    rightm->hide();
    Action("deletejobr")->trigger();
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J3", "3:J4", "4:J5"}));
}

TEST_F(MainWindowTest, RunJobPlaysTheSelectedJobsMusic) {
    Open(3);
    Action("runjob")->trigger();
    EXPECT_TRUE(player.calls.empty());
    form->SelectRow(2);
    Action("runjobr")->trigger();
    EXPECT_EQ(player.fileName, "/m/J3.mp3");
}

TEST_F(MainWindowTest, ClearAllAsksThenEmptiesTheListAndDeletesTheGroup) {
    Open(3);
    Action("clearjob")->trigger();  // cancelled by default
    EXPECT_EQ(list->count(), 3);
    scripted.answers = {MessageAnswer::Ok};
    Action("clearjobr")->trigger();
    ASSERT_EQ(scripted.messages.size(), 2u);
    EXPECT_EQ(scripted.messages[1].text, "确定清除所用任务吗？");
    EXPECT_EQ(scripted.messages[1].title, "清空任务");
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(std::filesystem::exists(group()));
}

TEST_F(MainWindowTest, NewJobGetsTheNextNumberAndIsSelected) {
    Open(5);
    bool shown = false;
    WhenModal<Form6>([&](Form6* editor) {
        shown = true;
        EXPECT_EQ(editor->windowTitle(), QStringLiteral("新建任务"));
        EXPECT_EQ(editor->findChild<QLineEdit*>(QStringLiteral("Text1_0"))->text(), QStringLiteral("6"));
        editor->findChild<QLineEdit*>(QStringLiteral("Text1_1"))->setText(QStringLiteral("眼操"));
        editor->findChild<QLineEdit*>(QStringLiteral("Text1_2"))->setText(QStringLiteral("09:40"));
        editor->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
    });
    Button("Command1_1")->click();
    EXPECT_TRUE(shown);
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J2", "3:J3", "4:J4", "5:J5", "6:眼操"}));
    EXPECT_EQ(std::string(TrimRight(GroupFile(group()).Read(6).JobDate)), "Everyday");
    EXPECT_EQ(list->count(), 6);
    EXPECT_EQ(form->SelectedRow(), 5);
}

TEST_F(MainWindowTest, EditChangesTheRecordInPlace) {
    Open(5);
    form->SelectRow(2);
    WhenModal<Form6>([&](Form6* editor) {
        EXPECT_EQ(editor->windowTitle(), QStringLiteral("修改任务"));
        auto* name = editor->findChild<QLineEdit*>(QStringLiteral("Text1_1"));
        EXPECT_EQ(name->text(), QStringLiteral("J3"));
        EXPECT_EQ(editor->findChild<QLineEdit*>(QStringLiteral("Text1_2"))->text(), QStringLiteral("08:03"));
        name->setText(QStringLiteral("第三节"));
        editor->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
    });
    Action("editjob")->trigger();
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"1:J1", "2:J2", "3:第三节", "4:J4", "5:J5"}));
    EXPECT_EQ(form->SelectedRow(), 2);
}

TEST_F(MainWindowTest, ThePlanLineIsCutWithAnEllipsisAndAGroupDaySaysWhatRingsAboveTheList) {
    Open(2);
    const auto* line = form->findChild<QLabel*>(QStringLiteral("planLine"));
    EXPECT_EQ(line, nullptr) << "no line before the first plan";
    const QString longToday = QStringLiteral("今天（周一）：任务组《") + QString(80, QChar(u'期')) +
                              QStringLiteral("》，9 个铃声，下一个 08:45 第一节下课");
    const QString plan = longToday + QStringLiteral("\n明天（周二）：9 个铃声");
    form->ShowPlanLine(plan.toStdString());
    line = form->findChild<QLabel*>(QStringLiteral("planLine"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->toolTip(), plan);
    const QStringList shown = line->text().split(QChar(u'\n'));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].endsWith(QChar(u'…'))) << shown[0].toStdString();
    EXPECT_LE(line->fontMetrics().horizontalAdvance(shown[0]), line->contentsRect().width());
    EXPECT_EQ(shown[1], QStringLiteral("明天（周二）：9 个铃声")) << "a line that fits is left whole";

    const auto* group = form->findChild<QLabel*>(QStringLiteral("todayGroup"));
    ASSERT_NE(group, nullptr);
    form->ShowPlanLine("今天（周一）：任务组《期中考试》，2 个铃声，下一个 08:45 J2\n明天（周二）：2 个铃声");
    EXPECT_TRUE(group->isVisible());
    EXPECT_EQ(group->text(), QStringLiteral("今天响的是任务组《期中考试》，不是这张表"));
    EXPECT_LT(group->geometry().bottom(), list->geometry().top());
    // Tomorrow's group, a group that cannot be used and an ordinary day say nothing above the list.
    for (const char* other : {"今天（周一）：2 个铃声\n明天（周二）：任务组《期中考试》，2 个铃声",
                              "今天（周一）：任务组《期中考试》文件不存在，不响铃\n明天（周二）：2 个铃声",
                              "今天（周一）：放假（国庆），不响铃\n明天（周二）：2 个铃声"}) {
        form->ShowPlanLine(other);
        EXPECT_FALSE(group->isVisible()) << other;
    }
}

TEST_F(MainWindowTest, ShowMainWindowReloadsOnlyAHiddenWindow) {
    Open(2);
    const int loads = rebuilds;
    test::WriteNumberedGroup(group(), 4);  // changed behind the window's back
    form->showMinimized();
    form->ShowMainWindow();
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(rebuilds, loads);
    EXPECT_EQ(list->count(), 2);

    Button("Command1_0")->click();
    ASSERT_EQ(Button("Command1_0")->text(), QStringLiteral("全部开始(&A)"));
    form->setWindowTitle(QStringLiteral("x"));
    form->close();  // only hides
    EXPECT_FALSE(form->isVisible());
    form->ShowMainWindow();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("铃潮V4.0"));
    EXPECT_EQ(rebuilds, loads + 2);  // the pause-all and the show
    EXPECT_EQ(list->count(), 4);
    EXPECT_EQ(Button("Command1_0")->text(), QStringLiteral("全部暂停(&A)"));
}

// The scheduler's tick goes on in the nested event loop of a modal dialog: a bell due meanwhile rings.
class ModalSchedulerTest : public MainWindowTest {
protected:
    void SetUp() override {
        test::WriteNumberedGroup(group(), 3);  // J1 at 08:01
        checktime.BuildScheduleIndex();
        QObject::connect(&tick, &QTimer::timeout, [this] {
            clock.AdvanceSeconds(1);
            checktime.Tick();
        });
    }
    // Keeps the dialog open until the bell has rung (or 20 s, far beyond need), then closes it with `close`.
    void CloseAfterBell(std::function<void()> close) {
        auto* poll = new QTimer;
        auto waited = std::make_shared<QElapsedTimer>();
        waited->start();
        QObject::connect(poll, &QTimer::timeout, [this, poll, waited, close = std::move(close)] {
            if (!player.fileName.empty() || waited->elapsed() > 20000) {
                rangWhileOpen = !player.fileName.empty();
                poll->stop();
                poll->deleteLater();
                close();
            }
        });
        poll->start(5);
        tick.start(2);
    }

    test::FakeClock clock{{2026, 12, 7}, {8, 0, 50}};
    test::FakeSchedulerHost host;
    Checktime checktime{dir.path(), clock, player, host};
    QTimer tick;
    bool rangWhileOpen = false;
};

TEST_F(ModalSchedulerTest, BellRingsWhileAMessageBoxIsOpen) {
    QtDialogs real;
    dialogs = &real;
    Open(0);
    form->SelectRow(1);
    WhenModal<QMessageBox>([this](QMessageBox* box) { CloseAfterBell([box] { box->close(); }); });
    Button("Command1_3")->click();
    tick.stop();
    EXPECT_TRUE(rangWhileOpen);
    EXPECT_EQ(player.fileName, "/m/J1.mp3");
    EXPECT_EQ(list->count(), 3);  // the box was closed: cancelled
}

TEST_F(ModalSchedulerTest, BellRingsWhileTheJobEditorIsOpen) {
    Open(0);
    WhenModal<Form6>([this](Form6* editor) { CloseAfterBell([editor] { editor->reject(); }); });
    Button("Command1_1")->click();
    tick.stop();
    EXPECT_TRUE(rangWhileOpen);
    EXPECT_EQ(player.fileName, "/m/J1.mp3");
    EXPECT_EQ(test::NamesAndNumbers(group()).size(), 3u);
}

}  // namespace
}  // namespace lingchao
