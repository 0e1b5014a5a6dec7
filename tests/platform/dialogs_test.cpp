#include "platform/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>

#include "support/block_watch.h"
#include "support/temp_folder.h"
#include "support/when_modal.h"

namespace lingchao {
namespace {

using test::WhenModal;

TEST(QtNameFilters, PipeListBecomesQtFiltersShowingThePatternsOnce) {
    EXPECT_EQ(
        QtNameFilters("所有支持类型(*.mp3;*.m3u;*.wav;*.mid;*.wma)|*.mp3;*.m3u;*.wav;*.mid;*.wma|所有文件(*.*)|*.*|"),
        (QStringList{QStringLiteral("所有支持类型 (*.mp3 *.m3u *.wav *.mid *.wma)"),
                     QStringLiteral("所有文件 (*.*)")}));
    EXPECT_EQ(QtNameFilters("存档文件(*.sav)|*.sav|"), (QStringList{QStringLiteral("存档文件 (*.sav)")}));
    EXPECT_EQ(QtNameFilters("Groups|*.sav"), (QStringList{QStringLiteral("Groups (*.sav)")}));
    EXPECT_TRUE(QtNameFilters("").isEmpty());
    EXPECT_TRUE(QtNameFilters("|").isEmpty());
}

enum class Press { First, Second, Enter, Escape, Close };

struct MessageRow {
    MessageButtons buttons;
    int defaultButton;
    MessageIcon icon;
    Press press;
    MessageAnswer expected;
};

class QtMessageTest : public ::testing::TestWithParam<MessageRow> {};

TEST_P(QtMessageTest, ShowsTheBoxAsAskedAndMapsTheButtonPressed) {
    const MessageRow row = GetParam();
    QtDialogs dialogs;
    bool seen = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        seen = true;
        EXPECT_EQ(box->text(), QStringLiteral("确定要删除任务吗?"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("提示"));
        const QMessageBox::Icon icon = row.icon == MessageIcon::Question      ? QMessageBox::Question
                                       : row.icon == MessageIcon::Information ? QMessageBox::Information
                                                                              : QMessageBox::NoIcon;
        EXPECT_EQ(box->icon(), icon);
        const QList<QAbstractButton*> buttons = box->buttons();
        const auto first = row.buttons == MessageButtons::YesNo ? QMessageBox::Yes : QMessageBox::Ok;
        const auto second = row.buttons == MessageButtons::YesNo ? QMessageBox::No : QMessageBox::Cancel;
        QAbstractButton* firstButton = box->button(first);
        QAbstractButton* secondButton = box->button(second);
        ASSERT_NE(firstButton, nullptr);
        EXPECT_EQ(buttons.size(), row.buttons == MessageButtons::Ok ? 1 : 2);
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()),
                  row.defaultButton == 1 ? secondButton : firstButton);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_FALSE(box->windowFlags() & Qt::WindowStaysOnTopHint);
        switch (row.press) {
            case Press::First:
                firstButton->click();
                break;
            case Press::Second:
                secondButton->click();
                break;
            case Press::Enter:
                box->defaultButton()->click();
                break;
            case Press::Escape:
                box->escapeButton()->click();
                break;
            case Press::Close:
                box->close();
                break;
        }
    });
    const MessageAnswer answer =
        dialogs.Message({"确定要删除任务吗?", "提示", row.icon, row.buttons, row.defaultButton});
    EXPECT_TRUE(seen);
    EXPECT_EQ(answer, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QtMessageTest,
    ::testing::Values(
        MessageRow{MessageButtons::Ok, 0, MessageIcon::Information, Press::First, MessageAnswer::Ok},
        MessageRow{MessageButtons::Ok, 0, MessageIcon::None, Press::Close, MessageAnswer::Ok},
        MessageRow{MessageButtons::OkCancel, 1, MessageIcon::Question, Press::First, MessageAnswer::Ok},
        MessageRow{MessageButtons::OkCancel, 1, MessageIcon::Question, Press::Enter, MessageAnswer::Cancel},
        MessageRow{MessageButtons::OkCancel, 0, MessageIcon::Question, Press::Enter, MessageAnswer::Ok},
        MessageRow{MessageButtons::OkCancel, 0, MessageIcon::Question, Press::Close, MessageAnswer::Cancel},
        MessageRow{MessageButtons::OkCancel, 0, MessageIcon::Question, Press::Escape, MessageAnswer::Cancel},
        MessageRow{MessageButtons::YesNo, 0, MessageIcon::Question, Press::First, MessageAnswer::Yes},
        MessageRow{MessageButtons::YesNo, 1, MessageIcon::Question, Press::Second, MessageAnswer::No},
        MessageRow{MessageButtons::YesNo, 0, MessageIcon::None, Press::Close, MessageAnswer::No}));

// A question over the main window blocks that window, not the floating clock beside it.
TEST(QtDialogsTest, ABoxBlocksTheWindowItOpensOverNotTheClock) {
    test::BlockWatch watch;
    QWidget mainWindow;
    QWidget clock(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    mainWindow.installEventFilter(&watch);
    clock.installEventFilter(&watch);
    mainWindow.show();
    clock.show();
    mainWindow.activateWindow();
    QApplication::setActiveWindow(&mainWindow);
    QtDialogs dialogs;
    bool seen = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        seen = true;
        EXPECT_EQ(box->parentWidget(), &mainWindow);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !watch.blocked.empty(); }));
        EXPECT_EQ(watch.blocked, std::vector<QObject*>{&mainWindow});
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.Message({"确定要删除任务吗?", "提示", MessageIcon::Question, MessageButtons::OkCancel, 1});
    EXPECT_TRUE(seen);
}

TEST(QtDialogsTest, SystemModalBoxStaysOnTop) {
    QtDialogs dialogs;
    WhenModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        box->button(QMessageBox::Ok)->click();
    });
    MessageRequest request{"程序正在运行！", "提示", MessageIcon::Information, MessageButtons::Ok, 0};
    request.systemModal = true;
    EXPECT_EQ(dialogs.Message(request), MessageAnswer::Ok);
}

TEST(QtDialogsTest, OpenFileShowsTitleFiltersAndFolderAndReturnsTheChosenPath) {
    test::TempFolder dir;
    std::filesystem::create_directories(dir / "music");
    const auto song = dir / "music" / "上课.mp3";
    std::ofstream(song) << "x";
    QtDialogs dialogs;
    const FileDialogRequest request{"打开", "所有支持类型(*.mp3;*.m3u)|*.mp3;*.m3u|所有文件(*.*)|*.*|",
                                    (dir / "music").string()};
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("打开"));
        EXPECT_EQ(dialog->nameFilters(), QtNameFilters(request.filter));
        EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString((dir / "music").string()));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->selectFile(QString::fromStdString(song.string()));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as its Open button does
    });
    EXPECT_EQ(dialogs.OpenFile(request), std::optional<std::string>(song.string()));

    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(dialogs.OpenFile(request), std::nullopt);
}

TEST(QtDialogsTest, AJobGroupFileIsShownAsOursNotAsTheSystemGuessesIt) {
    test::TempFolder dir;
    std::ofstream(dir / "示例作息.sav") << "x";
    QtDialogs dialogs;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        ASSERT_NE(dialog->iconProvider(), nullptr);
        EXPECT_EQ(dialog->iconProvider()->type(QFileInfo(QString::fromStdString((dir / "示例作息.sav").string()))),
                  QStringLiteral("存档文件"));
        dialog->reject();
    });
    dialogs.OpenFile({"打开任务组", "存档文件(*.sav)|*.sav|", dir.path().string()});
}

// A box asked from the floating clock is centred on the screen, not on the clock; from a window, on that window.
TEST(QtDialogsTest, ABoxHasTheActiveWindowAsParentUnlessItIsAToolWindow) {
    for (const Qt::WindowType type : {Qt::Tool, Qt::Window}) {
        QWidget window(nullptr, type);
        window.resize(40, 40);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QtDialogs dialogs;
        QWidget* parent = &window;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            parent = box->parentWidget();
            box->button(QMessageBox::Cancel)->click();
        });
        dialogs.Message({"确定退出铃潮吗？", "退出", MessageIcon::Question, MessageButtons::OkCancel, 1});
        EXPECT_EQ(parent, type == Qt::Tool ? nullptr : &window) << (type == Qt::Tool ? "tool window" : "window");
    }
}

TEST(QtDialogsTest, SaveFileReturnsANewPathWithoutAsking) {
    test::TempFolder dir;
    QtDialogs dialogs;
    const auto target = dir / "新任务组.sav";
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->selectFile(QString::fromStdString(target.string()));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as its Open button does
    });
    EXPECT_EQ(dialogs.SaveFile({"保存", "任务组(*.sav)|*.sav|", dir.path().string()}),
              std::optional<std::string>(target.string()));
}

}  // namespace
}  // namespace lingchao
