#include "ui/job_editor.h"
#include "base/text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "store/gbk.h"
#include "support/fakes.h"
#include "support/group_helpers.h"

namespace lingchao {
namespace {

using Names = std::vector<std::string>;

const char* const kMusicFilter =
    "所有支持类型(*.mp3;*.m3u;*.wav;*.mid;*.wma)|*.mp3;*.m3u;*.wav;*.mid;*.wma|所有文件(*.*)|*.*|";

class JobEditorTest : public ::testing::Test {
protected:
    void Open(JobEditorFields fields = NewJobFields()) {
        editor = std::make_unique<Form6>(Form6::Services{jilu, dialogs, dir.path()});
        editor->setWindowTitle(QStringLiteral("新建任务"));
        editor->SetFields(fields);
        editor->show();
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    }
    static JobEditorFields NewJobFields() {
        JobEditorFields f;
        f.number = "3";
        return f;
    }
    QLineEdit* Text1(int i) const { return editor->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(i)); }
    QLineEdit* Text2(int i) const { return editor->findChild<QLineEdit*>(QStringLiteral("Text2_%1").arg(i)); }
    QString Help() const { return editor->findChild<QLabel*>(QStringLiteral("Label2"))->text(); }
    std::filesystem::path group() const { return dir / "default.dll"; }
    // Types each character as a key carrying that text, as a keyboard or an input method's key would.
    static void Type(QWidget* box, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box, &press);
        }
    }

    test::TempFolder dir;
    test::ScriptedDialogs dialogs;
    test::FakeList list;
    Jilu jilu{dir.path(), &list, nullptr};
    std::unique_ptr<Form6> editor;
};

TEST_F(JobEditorTest, OpensInItsDesignedStateWithTheFocusInTheName) {
    Open();
    EXPECT_EQ(QApplication::focusWidget(), Text1(1));
    EXPECT_EQ(Help(), QStringLiteral("任务名称最长不超过20个汉字。"));
    EXPECT_FALSE(Text1(0)->isEnabled());
    EXPECT_EQ(Text1(0)->text(), QStringLiteral("3"));
    auto* combo = editor->findChild<QComboBox*>(QStringLiteral("Combo1"));
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), QStringLiteral("START"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("PAUSE"));
    EXPECT_EQ(editor->findChild<QCheckBox*>(QStringLiteral("Check1_7"))->text(), QStringLiteral("星期日"));
    EXPECT_TRUE(editor->findChild<QCheckBox*>(QStringLiteral("Check1_0"))->text().isEmpty());
    EXPECT_EQ(editor->findChild<QPushButton*>(QStringLiteral("Command2_4"))->text(), QStringLiteral("…"));
}

TEST_F(JobEditorTest, FieldsComeBackAsTheyWereSet) {
    JobEditorFields f;
    f.state = "PAUSE";
    f.number = "7";
    f.name = "升旗";
    f.time = "07:55";
    f.date = "2026-12-07";
    for (std::size_t i = 0; i < 8; ++i) f.music[i] = "/music/" + std::to_string(i) + ".mp3";
    f.checks = {1, 0, 1, 0, 0, 0, 2, 1};  // 2: a grey box from an old file, kept as it was
    Open(f);
    const JobEditorFields back = editor->Fields();
    EXPECT_EQ(back.state, f.state);
    EXPECT_EQ(back.number, f.number);
    EXPECT_EQ(back.name, f.name);
    EXPECT_EQ(back.time, f.time);
    EXPECT_EQ(back.date, f.date);
    EXPECT_EQ(back.music, f.music);
    EXPECT_EQ(back.checks, f.checks);
}

TEST_F(JobEditorTest, SeparatorsAreTypedAtTheirLengths) {
    Open();
    Text1(2)->setFocus();
    QTest::keyClicks(Text1(2), QStringLiteral("0830"));
    EXPECT_EQ(Text1(2)->text(), QStringLiteral("08:30"));
    Text1(3)->setFocus();
    QTest::keyClicks(Text1(3), QStringLiteral("20060101"));
    EXPECT_EQ(Text1(3)->text(), QStringLiteral("2006-01-01"));
    // The limits hold: the boxes take no more.
    QTest::keyClicks(Text1(2), QStringLiteral("9"));
    QTest::keyClicks(Text1(3), QStringLiteral("9"));
    EXPECT_EQ(Text1(2)->text(), QStringLiteral("08:30"));
    EXPECT_EQ(Text1(3)->text(), QStringLiteral("2006-01-01"));
}

TEST_F(JobEditorTest, BackspaceOverASeparatorBringsItBack) {
    Open();
    Text1(2)->setFocus();
    QTest::keyClicks(Text1(2), QStringLiteral("08"));
    ASSERT_EQ(Text1(2)->text(), QStringLiteral("08:"));
    QTest::keyClick(Text1(2), Qt::Key_Backspace);
    EXPECT_EQ(Text1(2)->text(), QStringLiteral("08:"));
    Text1(3)->setFocus();
    QTest::keyClicks(Text1(3), QStringLiteral("200601"));
    ASSERT_EQ(Text1(3)->text(), QStringLiteral("2006-01-"));
    QTest::keyClick(Text1(3), Qt::Key_Backspace);
    EXPECT_EQ(Text1(3)->text(), QStringLiteral("2006-01-"));
    // So backspacing never gets past a separator; selecting the text and typing over it does.
    QTest::keyClick(Text1(3), Qt::Key_Backspace);
    EXPECT_EQ(Text1(3)->text(), QStringLiteral("2006-01-"));
    Text1(3)->selectAll();
    QTest::keyClicks(Text1(3), QStringLiteral("2007"));
    EXPECT_EQ(Text1(3)->text(), QStringLiteral("2007-"));
}

TEST_F(JobEditorTest, EnteringABoxSelectsItsTextShowsItsHelpAndLeavingPutsTheCaretFirst) {
    JobEditorFields f = NewJobFields();
    f.name = "升旗";
    f.time = "07:55";
    f.date = "Everyday";
    f.music[5] = "/music/a.mp3";
    Open(f);
    const std::array<std::pair<QLineEdit*, const char*>, 4> rows{{
        {Text1(2), "格式08:30,输入0830。"},
        {Text1(3), "格式2006-1-1,输入20060101;不填则为Everyday,即每日执行。"},
        {Text2(5), "文件地址不超过512个英文字符，否则请缩短文件名或文件路径。"},
        {Text1(1), "任务名称最长不超过20个汉字。"},
    }};
    QLineEdit* previous = Text1(1);
    for (const auto& [box, help] : rows) {
        box->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(Help(), QString::fromUtf8(help));
        EXPECT_EQ(box->selectedText(), box->text());
        EXPECT_FALSE(previous->hasSelectedText());
        EXPECT_EQ(previous->cursorPosition(), 0);
        previous = box;
    }
    // The mode list and the check boxes leave the help as it is.
    editor->findChild<QComboBox*>(QStringLiteral("Combo1"))->setFocus();
    EXPECT_EQ(Help(), QStringLiteral("任务名称最长不超过20个汉字。"));
}

TEST_F(JobEditorTest, TypingLimitsCountGbkBytes) {
    Open();
    Text1(1)->setFocus();
    Type(Text1(1), QString(21, QChar(0x94C3)));  // 铃 ×21
    EXPECT_EQ(Text1(1)->text(), QString(20, QChar(0x94C3)));
    EXPECT_EQ(GbkByteLength(Text1(1)->text().toStdString()), 40u);
    // An input method's commit is held to the same limit.
    Text1(1)->clear();
    Type(Text1(1), QString(19, QChar(0x94C3)) + QStringLiteral("a"));
    QInputMethodEvent commit(QString(), {});
    commit.setCommitString(QStringLiteral("潮"));
    QApplication::sendEvent(Text1(1), &commit);
    EXPECT_EQ(GbkByteLength(Text1(1)->text().toStdString()), 39u);

    // Every music path takes what its field in the record holds: 512 bytes, the weekdays' too.
    for (int row : {0, 2, 7}) {
        Text2(row)->setFocus();
        QTest::keyClicks(Text2(row), QString(513, QLatin1Char('b')));
        EXPECT_EQ(Text2(row)->text().size(), 512) << "row " << row;
    }
    Text2(5)->setFocus();
    Type(Text2(5), QString(257, QChar(0x94C3)));
    EXPECT_EQ(GbkByteLength(Text2(5)->text().toStdString()), 512u);
}

TEST_F(JobEditorTest, KeepsItsSizeWhileTheFocusAndTheHelpMove) {
    Open();
    const QSize size = editor->size();
    for (QWidget* box :
         {static_cast<QWidget*>(Text1(2)), static_cast<QWidget*>(Text1(3)), static_cast<QWidget*>(Text2(0)),
          static_cast<QWidget*>(Text2(4)), static_cast<QWidget*>(Text1(1))}) {
        box->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(editor->size(), size) << "help: " << Help().toStdString();
    }
}

TEST_F(JobEditorTest, BrowsingTakesAPathWholeAndItCanStillBeMended) {
    Open();
    const std::string longPath = "/music/" + std::string(600, 'x') + ".mp3";
    dialogs.files = {longPath};
    editor->findChild<QPushButton*>(QStringLiteral("Command2_3"))->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "打开");
    EXPECT_EQ(dialogs.fileRequests[0].filter, kMusicFilter);
    EXPECT_EQ(dialogs.fileRequests[0].startFolder, (dir / "music").string());
    EXPECT_EQ(Text2(3)->text().toStdString(), longPath);
    EXPECT_EQ(Text2(3)->toolTip().toStdString(), longPath);
    Text2(3)->setFocus();
    Text2(3)->end(false);
    QTest::keyClick(Text2(3), Qt::Key_Backspace);
    EXPECT_EQ(Text2(3)->text().size(), static_cast<int>(longPath.size()) - 1);
    QTest::keyClicks(Text2(3), QStringLiteral("3"));  // growing it again is refused
    EXPECT_EQ(Text2(3)->text().size(), static_cast<int>(longPath.size()) - 1);
    // A cancelled browse leaves the box as it is.
    editor->findChild<QPushButton*>(QStringLiteral("Command2_3"))->click();
    EXPECT_EQ(Text2(3)->text().size(), static_cast<int>(longPath.size()) - 1);
}

TEST_F(JobEditorTest, EnterMovesThroughTheBoxesAndAnEmptyPathBoxBrowses) {
    Open();
    QTest::keyClick(Text1(1), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), Text1(2));
    QTest::keyClick(Text1(2), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), Text1(3));
    QTest::keyClick(Text1(3), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(QApplication::focusWidget(), Text2(0));
    dialogs.files = {std::string("/music/周一.m3u")};
    Text2(1)->setFocus();
    QTest::keyClick(Text2(1), Qt::Key_Return);
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(Text2(1)->text(), QStringLiteral("/music/周一.m3u"));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(std::filesystem::exists(group()));
}

TEST_F(JobEditorTest, EnterInAFilledPathBoxSavesLikeOk) {
    Open();
    Text1(1)->setText(QStringLiteral("上课"));
    Text1(2)->setText(QStringLiteral("08:00"));
    Text2(4)->setText(QStringLiteral("/music/bell.mp3"));
    Text2(4)->setFocus();
    QTest::keyClick(Text2(4), Qt::Key_Return);
    EXPECT_TRUE(dialogs.fileRequests.empty());
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(test::NamesAndNumbers(group()), (Names{"0:", "0:", "3:上课"}));
    EXPECT_EQ(std::string(TrimRight(GroupFile(group()).Read(3).JobMusic[4])), "/music/bell.mp3");
    EXPECT_EQ(list.selected, 2);
}

TEST_F(JobEditorTest, EscapeAndCancelCloseWithoutSaving) {
    Open();
    Text1(2)->setText(QStringLiteral("08:00"));
    QTest::keyClick(Text1(1), Qt::Key_Escape);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(editor->result(), QDialog::Rejected);
    Open();
    Text1(2)->setText(QStringLiteral("08:00"));
    editor->findChild<QPushButton*>(QStringLiteral("Command1_1"))->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_FALSE(std::filesystem::exists(group()));
    EXPECT_TRUE(dialogs.messages.empty());
}

struct CheckRow {
    const char* time;
    const char* date;
    const char* message;  // nullptr: saved
    int focusBox;         // Text1 index after the refusal
    const char* storedDate;
};

class OkCheckTest : public JobEditorTest, public ::testing::WithParamInterface<CheckRow> {};

TEST_P(OkCheckTest, ChecksTheTimeThenTheDate) {
    const CheckRow& row = GetParam();
    JobEditorFields f = NewJobFields();
    f.number = "1";
    f.time = row.time;
    f.date = row.date;
    Open(f);
    editor->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
    if (row.message != nullptr) {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, row.message);
        EXPECT_EQ(dialogs.messages[0].title, "提示");
        EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(QApplication::focusWidget(), Text1(row.focusBox));
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(Text1(2)->text(), QString::fromUtf8(row.time));
        EXPECT_EQ(Text1(3)->text(), QString::fromUtf8(row.date));
        EXPECT_FALSE(std::filesystem::exists(group()));
    } else {
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_FALSE(editor->isVisible());
        const JobRecord saved = GroupFile(group()).Read(1);
        EXPECT_EQ(std::string(TrimRight(saved.JobTime)), row.time);
        EXPECT_EQ(std::string(TrimRight(saved.JobDate)), row.storedDate);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, OkCheckTest,
                         ::testing::Values(CheckRow{"", "", "时间格式错误！", 2, nullptr},
                                           CheckRow{"", "everyday", "时间格式错误！", 2,
                                                    nullptr},  // a bad time hides a bad date
                                           CheckRow{"24:00", "", "时间格式错误！", 2, nullptr},
                                           CheckRow{"08:60", "", "时间格式错误！", 2, nullptr},
                                           CheckRow{"0830", "", "时间格式错误！", 2, nullptr},
                                           CheckRow{"08:30", "2006-1-1", "日期格式错误！", 3, nullptr},
                                           CheckRow{"08:30", "everyday", "日期格式错误！", 3, nullptr},
                                           CheckRow{"08:30", "2006-02-30", "日期格式错误！", 3, nullptr},
                                           CheckRow{"08:30", "Ever-", "日期格式错误！", 3, nullptr},
                                           CheckRow{"00:00", "", nullptr, 0, "Everyday"},
                                           CheckRow{"23:59", "Everyday", nullptr, 0, "Everyday"},
                                           CheckRow{"08:30", "2006-01-01", nullptr, 0, "2006-01-01"},
                                           CheckRow{"8:30", "2006/01/01", nullptr, 0, "2006/01/01"}));

TEST_F(JobEditorTest, RefusedOkKeepsTheFocusOnTheBoxToMend) {
    Open();
    Text1(2)->setFocus();
    QTest::keyClicks(Text1(2), QStringLiteral("0830"));
    Text1(3)->setFocus();
    QTest::keyClicks(Text1(3), QStringLiteral("2006"));  // "2006-"
    editor->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "日期格式错误！");
    EXPECT_EQ(QApplication::focusWidget(), Text1(3));
    EXPECT_EQ(Text1(3)->selectedText(), QStringLiteral("2006-"));  // the next key replaces it
    Text1(3)->clear();
    editor->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(std::string(TrimRight(GroupFile(group()).Read(3).JobDate)), "Everyday");
}

}  // namespace
}  // namespace lingchao
