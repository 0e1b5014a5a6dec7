#include "ui/campus_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "support/fakes.h"
#include "support/group_helpers.h"
#include "support/temp_folder.h"
#include "ui/campus_desk.h"
#include "ui/main_window.h"

namespace lingchao {
namespace {

QString Q(const char* text) { return QString::fromUtf8(text); }

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class CampusWindowTest : public ::testing::Test {
protected:
    void Open() {
        window = std::make_unique<CampusWindow>(
            CampusServices{folder.path(), dialogs, [this] { return view; }, [this] { ++restarts; }});
        window->show();
    }
    template <class T>
    T* W(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void Type(const char* field, const char* text) { W<QLineEdit>(field)->setText(Q(text)); }
    void Click(const char* button) { W<QPushButton>(button)->click(); }
    CampusSettingsRead Stored() { return ReadCampusSettings(folder.path()); }

    test::TempFolder folder;
    test::ScriptedDialogs dialogs;
    CampusView view;
    int restarts = 0;
    std::unique_ptr<CampusWindow> window;
};

TEST_F(CampusWindowTest, SettingsGoThroughTheFileAndARefusedValueStaysWithItsProblem) {
    test::WriteAll(folder / "lingchao.ini", Bytes("[web]\nport=9000\n\n[campus]\nenabled=true\nrole=boss\n"));
    Open();
    EXPECT_EQ(window->objectName(), Q("campus"));
    EXPECT_EQ(window->windowTitle(), Q("校园"));
    // What lingchao.ini holds wrongly is said at once; the campus stays off until it is put right.
    EXPECT_TRUE(W<QLabel>("campusProblems")->isVisible());
    EXPECT_TRUE(W<QLabel>("campusProblems")->text().contains(Q("boss")))
        << W<QLabel>("campusProblems")->text().toStdString();
    EXPECT_EQ(W<QLabel>("campusLink")->text(), Q("校园联网未开启"));

    Type("campusHost", "mqtt.school.lan");
    W<QSpinBox>("campusPort")->setValue(8883);
    dialogs.files = {std::string("/srv/tls/ca.pem"), std::string("/srv/tls/pc.crt"), std::string("/srv/tls/pc.key")};
    Click("campusCaPick");
    Click("campusCertPick");
    Click("campusKeyPick");
    ASSERT_EQ(dialogs.fileRequests.size(), 3u);
    EXPECT_NE(dialogs.fileRequests[0].filter.find("*.pem"), std::string::npos);
    EXPECT_EQ(dialogs.fileRequests[1].startFolder, "/srv/tls") << "where the CA file was";
    Type("campusUser", "bell");
    Type("campusPassword", " 口令 1");
    Type("campusName", "教学楼B");
    Type("campusCampus", "一中");
    EXPECT_FALSE(W<QLineEdit>("campusStandbyFor")->isEnabled());
    W<QComboBox>("campusRole")->setCurrentIndex(2);
    EXPECT_EQ(W<QComboBox>("campusRole")->currentText(), Q("备用"));
    EXPECT_TRUE(W<QLineEdit>("campusStandbyFor")->isEnabled());
    Type("campusStandbyFor", "教学楼A");
    Click("campusApply");

    CampusSettingsRead stored = Stored();
    EXPECT_TRUE(stored.problems.isEmpty()) << stored.problems.join(u'\n').toStdString();
    EXPECT_TRUE(stored.On());
    const CampusSettings& s = stored.settings;
    EXPECT_EQ(BrokerText(s.host, s.port), Q("mqtt.school.lan:8883"));
    EXPECT_EQ(s.caFile, Q("/srv/tls/ca.pem"));
    EXPECT_EQ(s.certFile, Q("/srv/tls/pc.crt"));
    EXPECT_EQ(s.keyFile, Q("/srv/tls/pc.key"));
    EXPECT_EQ(s.user, Q("bell"));
    EXPECT_EQ(s.password, Q(" 口令 1"));
    EXPECT_EQ(s.name, Q("教学楼B"));
    EXPECT_EQ(s.campus, Q("一中"));
    EXPECT_EQ(s.role, CampusRole::Standby);
    EXPECT_EQ(s.standbyFor, Q("教学楼A"));
    EXPECT_EQ(restarts, 1);
    EXPECT_FALSE(W<QLabel>("campusProblems")->isVisible());
    EXPECT_TRUE(W<QLineEdit>("campusPassword")->text().isEmpty());
    EXPECT_EQ(W<QLabel>("campusPasswordState")->text(), Q("已设置"));
    const std::vector<std::uint8_t> ini = test::ReadAll(folder / "lingchao.ini");
    EXPECT_NE(std::string(ini.begin(), ini.end()).find("port=9000"), std::string::npos) << "the other sections kept";

    // A name that cannot stand in a topic: nothing is written or restarted, the window stays open with the name
    // still in its field and the reason beside it.
    Type("campusName", "教学楼/B");
    Click("campusOk");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(W<QLabel>("campusProblems")->isVisible());
    EXPECT_TRUE(W<QLabel>("campusProblems")->text().contains(Q("教学楼/B")))
        << W<QLabel>("campusProblems")->text().toStdString();
    EXPECT_EQ(W<QLineEdit>("campusName")->text(), Q("教学楼/B"));
    EXPECT_EQ(Stored().settings.name, Q("教学楼B"));
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(dialogs.messages.empty()) << "said in the window, not in a box";

    // Put right: an empty password field keeps the saved password.
    Type("campusName", "教学楼C");
    W<QComboBox>("campusRole")->setCurrentIndex(1);
    Click("campusOk");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(restarts, 2);
    stored = Stored();
    EXPECT_EQ(stored.settings.name, Q("教学楼C"));
    EXPECT_EQ(stored.settings.password, Q(" 口令 1"));
    EXPECT_EQ(stored.settings.role, CampusRole::Follower);
    EXPECT_TRUE(stored.settings.standbyFor.isEmpty());

    // Opened again it shows what is kept; 清除 takes the password away at 应用 only, 取消 writes nothing.
    Open();
    EXPECT_EQ(W<QLineEdit>("campusHost")->text(), Q("mqtt.school.lan"));
    EXPECT_EQ(W<QComboBox>("campusRole")->currentText(), Q("分控"));
    Click("campusPasswordClear");
    EXPECT_EQ(W<QLabel>("campusPasswordState")->text(), Q("未设置"));
    W<QCheckBox>("campusEnabled")->click();
    Click("campusCancel");
    EXPECT_EQ(Stored().settings.password, Q(" 口令 1"));
    EXPECT_TRUE(Stored().settings.enabled);
    Open();
    Click("campusPasswordClear");
    Click("campusApply");
    EXPECT_TRUE(Stored().settings.password.isEmpty());
    EXPECT_EQ(restarts, 3);
}

CampusPeer Peer(const char* name, const char* problem, double offsetMs, const char* outcome) {
    CampusPeer peer;
    peer.name = Q(name);
    peer.problem = Q(problem);
    peer.online = peer.problem != Q("离线");
    peer.heardAgoMs = peer.online ? 1500 : 185000;
    CampusStatus status;
    status.pc = peer.name;
    status.version = QStringLiteral("4.0.2");
    status.online = peer.online;
    status.clockSynced = offsetMs < 50;
    status.offsetMs = offsetMs;
    status.output = QStringLiteral("正常 60%");
    CampusLastBell bell;
    bell.time = QStringLiteral("08:00");
    bell.name = QStringLiteral("上课");
    bell.outcome = Q(outcome);
    bell.soundMs = 2400;
    status.lastBell = bell;
    peer.status = status;
    return peer;
}

TEST_F(CampusWindowTest, EveryPcHasItsRowAWorryingOneInRedRefreshedWhileShown) {
    CampusSettings settings;
    settings.enabled = true;
    settings.host = QStringLiteral("192.168.1.10");
    settings.name = Q("行政楼");
    settings.campus = Q("一中");
    settings.role = CampusRole::Main;
    ASSERT_TRUE(WriteCampusSettings(folder.path(), settings));
    view.on = true;
    view.role = Q("主控");
    view.link = Q("已连接 192.168.1.10:1883");
    view.peers = {Peer("行政楼", "", 1.4, "fired"), Peer("教学楼A", "", -3, "fired"),
                  Peer("教学楼B", "离线", 80, "fired")};
    view.peers[2].status->warnings = QStringList{Q("声音输出已静音")};
    CampusPeer silent;  // never said anything
    silent.name = Q("实验楼");
    silent.problem = Q("尚未上线");
    view.peers.push_back(silent);
    Open();

    EXPECT_TRUE(W<QLabel>("campusLink")->text().contains(view.link));
    auto* table = W<QTableWidget>("peers");
    ASSERT_EQ(table->rowCount(), 4);
    const auto cell = [table](int row, int column) { return table->item(row, column)->text(); };
    EXPECT_EQ(cell(1, 0), Q("教学楼A"));
    EXPECT_EQ(cell(1, 1), Q("在线（1 秒前）"));
    EXPECT_EQ(cell(1, 2), Q("4.0.2"));
    EXPECT_EQ(cell(1, 3), Q("同步 -3.0 毫秒"));
    EXPECT_EQ(cell(0, 3), Q("同步 +1.4 毫秒"));
    EXPECT_EQ(cell(1, 5), Q("08:00 上课：fired，声音 2400 毫秒"));
    EXPECT_EQ(cell(2, 1), Q("离线（3 分钟前）"));
    EXPECT_EQ(cell(2, 3), Q("未同步 +80.0 毫秒"));
    EXPECT_EQ(cell(2, 6), Q("声音输出已静音"));
    EXPECT_EQ(cell(2, 7), Q("离线"));
    EXPECT_EQ(cell(3, 2), Q("尚无消息"));
    const QColor white = table->palette().color(QPalette::Base);
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem* red = table->item(2, c);
        EXPECT_EQ(red->toolTip(), Q("离线")) << c;
        EXPECT_GT(red->foreground().color().red(), 2 * red->foreground().color().green()) << c;
        EXPECT_EQ(red->background().color().red(), 255) << c;
        EXPECT_LT(red->background().color().blue(), white.blue()) << c;
        EXPECT_EQ(table->item(1, c)->background().style(), Qt::NoBrush) << "a well PC is not red, column " << c;
    }
    EXPECT_EQ(table->item(3, 0)->toolTip(), Q("尚未上线"));

    if (const char* path = std::getenv("LINGCHAO_CAMPUS_SHOT")) {
        view.peers.pop_back();
        window->Refresh();
        window->resize(window->width(), window->sizeHint().height());
        QApplication::processEvents();
        EXPECT_TRUE(window->grab().save(QString::fromUtf8(path)));
    }

    // The table follows the campus by itself while the window shows, and asks nothing while it is hidden.
    view.peers.resize(1);
    ASSERT_TRUE(QTest::qWaitFor([table] { return table->rowCount() == 1; }, 30000));
    window->hide();
    EXPECT_FALSE(W<QTimer>("campusRefresh")->isActive());

    // The clock's menu names the role and the link, without the reason of a broken one.
    QMenu menu;
    QAction* quit = menu.addAction(Q("退出"));
    CampusDesk desk(
        folder.path(), [this] { return view; }, nullptr);
    desk.AddTo(&menu, quit, &dialogs);
    auto* item = menu.findChild<QAction*>(QStringLiteral("campus"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(menu.actions().indexOf(item), 0);
    emit menu.aboutToShow();
    EXPECT_EQ(item->text(), Q("校园（主控，已连接 192.168.1.10:1883）…"));
    view.link = Q("与 192.168.1.10:1883 断开 2 分钟：Connection refused");
    emit menu.aboutToShow();
    EXPECT_EQ(item->text(), Q("校园（主控，与 192.168.1.10:1883 断开 2 分钟）…"));
    view.on = false;
    emit menu.aboutToShow();
    EXPECT_EQ(item->text(), Q("校园…"));
}

TEST(CampusReadOnlyTest, OnAFollowerTheMainWindowRefusesEveryEditAndSaysWhy) {
    test::TempFolder dir;
    test::WriteNumberedGroup(dir / "default.dll", 3);
    const std::vector<std::uint8_t> before = test::ReadAll(dir / "default.dll");
    CampusSettingsRead read;
    read.settings.enabled = true;
    read.settings.campus = Q("一中");
    read.settings.role = CampusRole::Main;
    EXPECT_TRUE(TimetableReadOnlyReason(read).isEmpty()) << "the main writes the timetable";
    read.settings.role = CampusRole::Follower;
    const QString why = TimetableReadOnlyReason(read);
    EXPECT_EQ(why, Q("任务表由主控（一中）下发，本机只读"));
    EXPECT_EQ(CalendarReadOnlyReason(read), Q("校历和今天的改动由主控（一中）下发，请在主控上修改"));
    read.settings.enabled = false;
    EXPECT_TRUE(TimetableReadOnlyReason(read).isEmpty()) << "no campus, the PC's own timetable";
    EXPECT_TRUE(CalendarReadOnlyReason(read).isEmpty());

    test::ScriptedDialogs dialogs;
    test::FakePlayer player;
    test::FakeEditor editor;
    Jilu jilu{dir.path(), nullptr, [] {}};
    Form4 form(Form4::Services{jilu, dialogs, player, [](const JobRecord&) { return std::string(); }});
    form.SetEditorLauncher(&editor);
    form.ShowMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int editableHeight = form.height();
    form.SetReadOnly(why);

    const auto* line = form.findChild<QLabel*>(QStringLiteral("readOnlyLine"));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text(), why);
    EXPECT_GT(form.height(), editableHeight) << "the line has room of its own";
    const QRect shown = line->geometry();
    EXPECT_TRUE(form.centralWidget()->rect().contains(shown)) << "not cut off by the window's edge";
    for (int i = 0; i < 6; ++i) {
        auto* button = form.findChild<QPushButton*>(QStringLiteral("Command1_%1").arg(i));
        EXPECT_FALSE(button->isEnabled()) << i;
        button->click();
    }
    for (const char* name : {"open", "newjob", "editjob", "deletejob", "clearjob", "up", "down", "playjob", "pausejob",
                             "playall", "pauseall", "editjobr", "deletejobr", "clearjobr", "tidy", "importold"}) {
        QAction* action = form.findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        EXPECT_FALSE(action->isEnabled()) << name;
        form.SelectRow(1);
        action->trigger();
    }
    auto* list = form.findChild<QListWidget*>(QStringLiteral("List1"));
    form.SelectRow(1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    form.Command1_Click(3);
    EXPECT_TRUE(editor.captions.empty());
    EXPECT_TRUE(dialogs.messages.empty()) << "not even a question was asked";
    EXPECT_EQ(test::ReadAll(dir / "default.dll"), before) << "the timetable was changed";
    EXPECT_TRUE(form.findChild<QAction*>(QStringLiteral("runjob"))->isEnabled()) << "playing a job stays";
    EXPECT_TRUE(form.findChild<QAction*>(QStringLiteral("save"))->isEnabled()) << "saving a copy stays";

    // The role changed back to the main's: the window edits again, without the line.
    form.SetReadOnly(QString());
    EXPECT_FALSE(line->isVisible());
    EXPECT_EQ(form.height(), editableHeight);
    EXPECT_TRUE(form.findChild<QPushButton*>(QStringLiteral("Command1_3"))->isEnabled());
    form.SelectRow(1);
    form.findChild<QAction*>(QStringLiteral("pausejob"))->trigger();
    EXPECT_NE(test::ReadAll(dir / "default.dll"), before);
}

}  // namespace
}  // namespace lingchao
