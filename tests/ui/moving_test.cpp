// The commands for files brought from another computer, as the user meets them: the import, its questions and
// report, then the tidy table and its 确定.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>

#include "music/backup_restore.h"
#include "music/music_names.h"
#include "store/gbk.h"
#include "support/fakes.h"
#include "support/fixture_bytes.h"
#include "support/temp_folder.h"
#include "support/when_modal.h"
#include "ui/clock_menu.h"
#include "ui/main_window.h"
#include "ui/moving_commands.h"
#include "ui/tidy_dialog.h"

namespace lingchao {
namespace {

namespace fs = std::filesystem;

const std::string kOldShangKe = "D:\\" + test::kGbkLingSheng + "\\" + test::kGbkShangKe + ".MP3";

void Put(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(file.parent_path());
    test::WriteAll(file, bytes);
}

QString Cell(QTableWidget* table, int row, int column) { return table->item(row, column)->text(); }

class MovingCommands : public ::testing::Test {
protected:
    MovingServices Services() {
        return {app, dialogs, [this] { return MusicNames::Scan(app / "music"); }, [this] { ++reloads; },
                [this] { ++settingsReloads; }};
    }

    test::TempFolder root;
    fs::path old = root / "U盘" / "铃潮";
    fs::path app = root / "app";
    test::ScriptedDialogs dialogs;
    int reloads = 0;
    int settingsReloads = 0;
};

TEST_F(MovingCommands, TheImportCopiesAsksReportsThenTheTidyPointsTheTimetableAtTheMusic) {
    const auto oldTimetable =
        test::FixtureGroup({{1, test::kGbkShangKe, "08:00", "Everyday", "START", {kOldShangKe}, {}}});
    Put(old / "default.dll", oldTimetable);
    Put(old / "exit.dll", std::vector<std::uint8_t>(10, '0'));
    Put(old / "music" / "铃声" / "上课.mp3", std::vector<std::uint8_t>(2000, 7));
    const auto hereTimetable = test::FixtureGroup({{1, "X", "07:00", "Everyday", "START", {"/m/x.wav"}, {}}});
    Put(app / "default.dll", hereTimetable);

    dialogs.files = {old.string()};
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::Ok};
    bool tableSeen = false;
    test::WhenModal<TidyDialog>([&](TidyDialog* dialog) {
        tableSeen = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("整理音乐路径"));
        QTableWidget* table = dialog->table();
        ASSERT_EQ(table->rowCount(), 1);
        EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QStringLiteral("任务或列表"));
        EXPECT_EQ(Cell(table, 0, 0), QStringLiteral("任务1 上课"));
        EXPECT_EQ(Cell(table, 0, 1), QStringLiteral("D:\\铃声\\上课.MP3"));
        EXPECT_EQ(Cell(table, 0, 2), QStringLiteral("music/铃声/上课.mp3"));
        auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("Check1"));
        EXPECT_TRUE(box->isChecked());
        EXPECT_TRUE(box->text().contains(QStringLiteral("“music”文件夹中的音乐列表"))) << box->text().toStdString();
        dialog->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
    });
    RunImportCommand(Services(), nullptr);

    EXPECT_TRUE(tableSeen);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_NE(dialogs.messages[0].text.find("default.dll"), std::string::npos);
    EXPECT_EQ(dialogs.messages[1].title, "提示");
    EXPECT_NE(dialogs.messages[1].text.find("exit.dll："), std::string::npos) << dialogs.messages[1].text;
    EXPECT_NE(dialogs.messages[2].text.find("已改正1个路径"), std::string::npos) << dialogs.messages[2].text;
    EXPECT_EQ(reloads, 2);  // after the import, after the tidy
    EXPECT_EQ(settingsReloads, 0);
    EXPECT_FALSE(fs::exists(app / "exit.dll"));
    // The import kept this computer's timetable, the tidy the imported one, each in a folder its message names.
    const std::vector<BackupEntry> backups = ListBackups(app);
    ASSERT_EQ(backups.size(), 2u);
    for (const BackupEntry& backup : backups) {
        const bool imported = backup.name.ends_with(" 导入");
        EXPECT_TRUE(imported || backup.name.ends_with(" 整理")) << backup.name;
        EXPECT_EQ(test::ReadAll(backup.folder / "default.dll"), imported ? hereTimetable : oldTimetable);
        EXPECT_NE(dialogs.messages[imported ? 1 : 2].text.find("“backup/" + backup.name + "”"), std::string::npos)
            << dialogs.messages[imported ? 1 : 2].text;
    }
    const auto now = test::ReadAll(app / "default.dll");
    const std::string field(now.begin() + 62, now.begin() + 62 + 512);
    EXPECT_EQ(GbkToUtf8(field.substr(0, field.find_last_not_of(' ') + 1)),
              (app / "music" / "铃声" / "上课.mp3").string());
}

TEST(OldFilesStartFolder, OpensWhereAStickIsMountedElseAtHome) {
    test::TempFolder root;
    const fs::path home = root / "home" / "teacher";
    const auto start = [&](const std::string& user = "teacher") {
        return OldFilesStartFolder(root.path(), user, home);
    };
    EXPECT_EQ(start(), home);  // none of the places exists
    // Empty mount folders, and a file where one belongs, are passed over.
    fs::create_directories(root / "media" / "teacher");
    fs::create_directories(root / "mnt");
    Put(root / "run" / "media" / "teacher", {1});
    EXPECT_EQ(start(), root / "media");  // holds the user's empty folder
    fs::remove(root / "media" / "teacher");
    EXPECT_EQ(start(), home);
    Put(root / "mnt" / "usb" / "default.dll", {1});
    EXPECT_EQ(start(), root / "mnt");
    fs::remove(root / "run" / "media" / "teacher");
    fs::create_directories(root / "run" / "media" / "teacher" / "KINGSTON");
    EXPECT_EQ(start(), root / "run" / "media" / "teacher");
    EXPECT_EQ(start(""), root / "mnt");  // no user name: only the shared places
    fs::create_directories(root / "media" / "teacher" / "U盘");
    EXPECT_EQ(start(), root / "media" / "teacher");
}

TEST_F(MovingCommands, NothingToTidySaysSoAndCancelChangesNothing) {
    Put(app / "default.dll", test::FixtureGroup({{1, "X", "07:00", "Everyday", "START", {""}, {}}}));
    RunTidyCommand(Services(), nullptr);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("没有需要整理的音乐路径"), std::string::npos);

    const auto timetable = test::FixtureGroup({{1, "X", "07:00", "Everyday", "START", {kOldShangKe}, {}}});
    Put(app / "default.dll", timetable);
    Put(app / "music" / "上课.mp3", {1});
    test::WhenModal<TidyDialog>([](TidyDialog* dialog) { dialog->reject(); });
    RunTidyCommand(Services(), nullptr);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), timetable);
    EXPECT_FALSE(fs::exists(app / "backup"));
    EXPECT_EQ(reloads, 0);
}

TEST_F(MovingCommands, RestorePutsTheChosenBackupBackAfterKeepingWhatIsHere) {
    RunRestoreCommand(Services(), nullptr);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("还没有任何备份"), std::string::npos);

    const auto now = test::FixtureGroup({{1, "N", "07:00", "Everyday", "START", {""}, {}}});
    const auto earlier = test::FixtureGroup({{1, "E", "08:00", "Everyday", "START", {""}, {}}});
    Put(app / "default.dll", now);
    Put(app / "exit.dll", std::vector<std::uint8_t>(63, '1'));
    Put(app / "backup" / "2026-12-01 080000 导入" / "default.dll", earlier);
    Put(app / "backup" / "2026-12-01 080000 导入" / "exit.dll", std::vector<std::uint8_t>(63, '0'));
    Put(app / "backup" / "2026-12-05 093000 整理" / "default.dll", now);

    // Cancelled at the question: nothing changes.
    dialogs.messages.clear();
    QStringList offered;
    const auto choose = [&](int row) {
        test::WhenModal<QInputDialog>([&offered, row](QInputDialog* chooser) {
            EXPECT_EQ(chooser->windowTitle(), QStringLiteral("恢复"));
            offered = chooser->comboBoxItems();
            chooser->setTextValue(offered.value(row));
            chooser->accept();
        });
    };
    choose(1);
    RunRestoreCommand(Services(), nullptr);
    EXPECT_EQ(offered, (QStringList{"2026-12-05 093000 整理（1个文件）", "2026-12-01 080000 导入（2个文件）"}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(dialogs.messages[0].defaultButton, 1);
    EXPECT_NE(dialogs.messages[0].text.find("“2026-12-01 080000 导入”中的2个文件"), std::string::npos);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), now);

    dialogs.messages.clear();
    dialogs.answers = {MessageAnswer::Ok, MessageAnswer::Ok};
    choose(1);
    RunRestoreCommand(Services(), nullptr);
    EXPECT_EQ(test::ReadAll(app / "default.dll"), earlier);
    EXPECT_EQ(test::ReadAll(app / "exit.dll"), std::vector<std::uint8_t>(63, '0'));
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(settingsReloads, 1);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[1].text.find("已从备份“2026-12-01 080000 导入”放回2个文件"), std::string::npos)
        << dialogs.messages[1].text;
    const std::vector<BackupEntry> backups = ListBackups(app);
    ASSERT_EQ(backups.size(), 3u);
    EXPECT_TRUE(backups[0].name.ends_with(" 恢复前")) << backups[0].name;
    EXPECT_EQ(test::ReadAll(backups[0].folder / "default.dll"), now);
    EXPECT_NE(dialogs.messages[1].text.find("“backup/" + backups[0].name + "”"), std::string::npos);
}

TEST_F(MovingCommands, TheFileMenuAndTheClockMenuOfferTheCommands) {
    Jilu jilu{app, nullptr, [] {}};
    test::FakePlayer player;
    Form4 form({jilu, dialogs, player, [](const JobRecord& r) { return MusicForWeekday(r, 1); }});
    int tidies = 0;
    int imports = 0;
    form.hooks().tidy = [&] { ++tidies; };
    form.hooks().importOld = [&] { ++imports; };
    auto* file = form.findChild<QMenu*>(QStringLiteral("file"));
    ASSERT_NE(file, nullptr);
    QStringList captions;
    for (QAction* a : file->actions()) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions,
              (QStringList{"打开(&O)", "保存(&S)", "-", "整理音乐路径…", "导入旧电脑的文件…", "-", "退出(&Q)"}));
    form.findChild<QAction*>(QStringLiteral("tidy"))->trigger();
    form.findChild<QAction*>(QStringLiteral("importold"))->trigger();
    EXPECT_EQ(tidies, 1);
    EXPECT_EQ(imports, 1);

    int restores = 0;
    ASSERT_NE(AddRestoreItem(&form, [&] { ++restores; }), nullptr);
    captions.clear();
    for (QAction* a : file->actions()) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions, (QStringList{"打开(&O)", "保存(&S)", "-", "整理音乐路径…", "导入旧电脑的文件…", "恢复…", "-",
                                     "退出(&Q)"}));
    form.findChild<QAction*>(QStringLiteral("restore"))->trigger();
    EXPECT_EQ(restores, 1);

    ClockMenu menu({});
    menu.SetTidyHook([&] { ++tidies; });
    QAction* tidy1 = menu.findChild<QAction*>(QStringLiteral("tidy1"));
    ASSERT_NE(tidy1, nullptr);
    EXPECT_FALSE(tidy1->isVisible());
    menu.OfferTidy(true);
    EXPECT_TRUE(tidy1->isVisible());
    EXPECT_EQ(menu.wenjian()->actions().front(), tidy1);
    menu.Form3_tidy1_Click();
    EXPECT_EQ(tidies, 2);
}

}  // namespace
}  // namespace lingchao
