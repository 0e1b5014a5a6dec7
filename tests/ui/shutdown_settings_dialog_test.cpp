#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <optional>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/shutdown_confirm.h"
#include "ui/shutdown_settings_dialog.h"

namespace lingchao {
namespace {

std::vector<std::uint8_t> Record(const std::array<std::int16_t, 9>& checks, const std::array<const char*, 9>& times) {
    std::vector<std::uint8_t> b;
    for (auto c : checks) {
        b.push_back(static_cast<std::uint8_t>(c & 0xFF));
        b.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    for (const char* t : times) b.insert(b.end(), t, t + 5);
    return b;
}

const std::vector<std::uint8_t> kStored = Record(
    {1, 1, 0, 0, 1, 0, 0, 1, 1}, {"17:30", "12:00", "08:00", "9:15 ", "00:00", "23:59", "06:05", "16:40", "ab   "});

struct Fixture {
    test::TempFolder dir;
    test::ScriptedDialogs dialogs;
    int saves = 0;
    std::optional<ShutdownSettings> memory;
    int manualOpenings = 0;
    std::function<void()> manual = [this] { ++manualOpenings; };

    std::unique_ptr<ShutdownSettingsDialog> Open() {
        return std::make_unique<ShutdownSettingsDialog>(
            dir.path(), dialogs,
            [this](const ShutdownSettings& s) {
                ++saves;
                memory = s;
            },
            [this] { manual(); });
    }
    std::filesystem::path file() const { return dir / "exit.dll"; }
};

QPushButton* Button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(QString::fromLatin1(name)); }

}  // namespace

class ShutdownSettingsDialogTest final : public QObject {
    Q_OBJECT
private slots:
    void savingUnchangedGivesBackTheSame63BytesWithSlot8Carried() {
        Fixture f;
        test::WriteAll(f.file(), kStored);
        auto form = f.Open();
        QCOMPARE(form->text1(3)->text(), QStringLiteral("9:15"));  // trimmed
        QCOMPARE(form->text1(8)->text(), QStringLiteral("ab"));
        QVERIFY(form->check1(8)->isChecked());
        QVERIFY(!form->check1(2)->isChecked());
        QTest::mouseClick(Button(form.get(), "Command1_0"), Qt::LeftButton);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(test::ReadAll(f.file()), kStored);
        QCOMPARE(f.saves, 1);
        QVERIFY(f.memory == DecodeShutdownSettings(kStored));
    }

    void editsAreWrittenAsRecord1AndReachTheProgramCopy() {
        Fixture f;
        test::WriteAll(f.file(), kStored);
        auto form = f.Open();
        form->check1(2)->setChecked(true);
        form->check1(8)->setChecked(false);
        form->text1(2)->selectAll();
        QTest::keyClicks(form->text1(2), "0745");
        QTest::keyClick(form->text1(2), Qt::Key_Return);  // Enter in a box is OK
        QCOMPARE(form->result(), int(QDialog::Accepted));
        const auto bytes = test::ReadAll(f.file());
        QCOMPARE(bytes.size(), std::size_t{63});
        const ShutdownSettings s = DecodeShutdownSettings(bytes);
        QCOMPARE(s.check[2], std::int16_t{1});
        QCOMPARE(s.check[8], std::int16_t{0});
        QCOMPARE(s.time[2], std::string("07:45"));
        QCOMPARE(s.time[3], std::string("9:15 "));
        QCOMPARE(s.time[8], std::string("ab   "));
        QCOMPARE(f.saves, 1);
        QVERIFY(f.memory == s);
    }

    void aBadBoxBlocksSavingWhetherTickedOrNot_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("text");
        QTest::newRow("unticked row holding ab") << 2 << "ab";
        QTest::newRow("daily time 24:00") << 0 << "24:00";
        QTest::newRow("Sunday minutes 60") << 7 << "12:60";
        QTest::newRow("empty Friday") << 5 << "";
        QTest::newRow("one-digit minute") << 6 << "8:3";
    }
    void aBadBoxBlocksSavingWhetherTickedOrNot() {
        QFETCH(int, slot);
        QFETCH(QString, text);
        Fixture f;
        test::WriteAll(f.file(), kStored);
        auto form = f.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->text1(slot)->setText(text);
        if (slot < 7) form->text1(7)->setText(QStringLiteral("xx"));  // a later bad box is not the one reported
        Button(form.get(), "Command1_1")->setFocus();
        QTest::mouseClick(Button(form.get(), "Command1_0"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
        QCOMPARE(f.dialogs.messages[0].text, std::string("时间格式错误！"));
        QCOMPARE(f.dialogs.messages[0].title, std::string("提示"));
        QCOMPARE(f.dialogs.messages[0].icon, MessageIcon::Information);
        QCOMPARE(f.dialogs.messages[0].buttons, MessageButtons::Ok);
        QCOMPARE(form->focusWidget(), static_cast<QWidget*>(form->text1(slot)));
        QVERIFY(form->isVisible());
        QCOMPARE(test::ReadAll(f.file()), kStored);
        QCOMPARE(f.saves, 0);
    }

    void cancelEscAndCloseWriteNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("取消") << "cancel";
        QTest::newRow("Esc") << "esc";
        QTest::newRow("close box") << "close";
    }
    void cancelEscAndCloseWriteNothing() {
        QFETCH(QString, how);
        Fixture f;
        test::WriteAll(f.file(), kStored);
        auto form = f.Open();
        form->check1(5)->setChecked(true);
        form->text1(5)->setText(QStringLiteral("10:10"));
        QTimer::singleShot(0, [&] {
            if (how == "cancel") QTest::mouseClick(Button(form.get(), "Command1_1"), Qt::LeftButton);
            if (how == "esc") QTest::keyClick(form->text1(5), Qt::Key_Escape);
            if (how == "close") form->close();
        });
        QCOMPARE(form->exec(), int(QDialog::Rejected));
        QCOMPARE(test::ReadAll(f.file()), kStored);
        QCOMPARE(f.saves, 0);
        // Reopening shows the saved values, not the abandoned edits.
        auto again = f.Open();
        QVERIFY(!again->check1(5)->isChecked());
        QCOMPARE(again->text1(5)->text(), QStringLiteral("23:59"));
    }

    void missingFileShowsDesignTimesAllUnticked_data() {
        QTest::addColumn<int>("length");  // -1: no file
        QTest::newRow("missing") << -1;
        QTest::newRow("empty") << 0;
        QTest::newRow("cut after the switches") << 18;
    }
    void missingFileShowsDesignTimesAllUnticked() {
        QFETCH(int, length);
        Fixture f;
        if (length >= 0) {
            test::WriteAll(f.file(), std::vector<std::uint8_t>(static_cast<std::size_t>(length), 0));
        }
        auto form = f.Open();
        for (int slot = 0; slot < 8; ++slot) {
            QCOMPARE(form->text1(slot)->text(), QStringLiteral("00:00"));
            QVERIFY(!form->check1(slot)->isChecked());
        }
        QVERIFY(!form->check1(8)->isChecked());
        QCOMPARE(form->text1(8)->text(), QString());
        QTest::mouseClick(Button(form.get(), "Command1_0"), Qt::LeftButton);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        const auto bytes = test::ReadAll(f.file());
        QCOMPARE(bytes.size(), std::size_t{63});
        const ShutdownSettings s = DecodeShutdownSettings(bytes);
        QCOMPARE(s.time[0], std::string("00:00"));
        QCOMPARE(s.time[8], std::string("     "));
        QVERIFY(!TodaysShutdownTime(s, 1));
    }

    void colonAid() {
        Fixture f;
        auto form = f.Open();
        QLineEdit* box = form->text1(6);
        box->selectAll();
        QTest::keyClicks(box, "0830");
        QCOMPARE(box->text(), QStringLiteral("08:30"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), QStringLiteral("08:"));
        QTest::keyClick(box, Qt::Key_Backspace);  // "08" brings the colon back
        QCOMPARE(box->text(), QStringLiteral("08:"));
        box->selectAll();
        QTest::keyClicks(box, "0000123");  // at most 5 characters
        QCOMPARE(box->text(), QStringLiteral("00:00"));
    }

    void enteringABoxSelectsItAll() {
        Fixture f;
        test::WriteAll(f.file(), kStored);
        auto form = f.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::mouseClick(form->text1(5), Qt::LeftButton, {}, QPoint(3, 3));
        QTRY_COMPARE(form->text1(5)->selectedText(), QStringLiteral("23:59"));
        QTest::keyClicks(form->text1(5), "07");
        QCOMPARE(form->text1(5)->text(), QStringLiteral("07:"));
    }

    void tabGoesDownTheLeftColumnThenTheRightThenOkAndCancel() {
        Fixture f;
        auto form = f.Open();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->check1(0)->setFocus();
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 19; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        const QStringList expected{"Check1_0", "Text1_0", "Check1_8", "Check1_1", "Text1_1",    "Check1_2",  "Text1_2",
                                   "Check1_3", "Text1_3", "Command2", "Check1_4", "Text1_4",    "Check1_5",  "Text1_5",
                                   "Check1_6", "Text1_6", "Check1_7", "Text1_7",  "Command1_0", "Command1_1"};
        QCOMPARE(order, expected);
    }

    void unwritableFileKeepsTheDialogOpenAndTheCopyUntouched() {
        Fixture f;
        test::WriteAll(f.file(), kStored);
        // The atomic write goes through this scratch name; a folder there makes it fail even for root.
        std::filesystem::create_directory(f.dir / ".exit.dll.new");
        auto form = f.Open();
        form->text1(0)->setText(QStringLiteral("18:00"));
        QTest::mouseClick(Button(form.get(), "Command1_0"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
        QVERIFY(f.dialogs.messages[0].text.find("exit.dll") != std::string::npos);
        QCOMPARE(f.dialogs.messages[0].title, std::string("提示"));
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(form->text1(0)->text(), QStringLiteral("18:00"));
        QCOMPARE(test::ReadAll(f.file()), kStored);
        QCOMPARE(f.saves, 0);
    }

    void manualShutdownNoReturnsToTheDialogUnchanged() {
        Fixture f;
        test::WriteAll(f.file(), kStored);
        int sequences = 0;
        ShutdownConfirmHost confirm([&] { ++sequences; });
        f.manual = [&] { confirm.ConfirmShutdown(); };
        auto form = f.Open();
        form->show();
        form->text1(4)->setText(QStringLiteral("11:11"));
        bool onTop = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal != nullptr);
            onTop = modal->objectName() == QStringLiteral("Form2") && modal->parentWidget() == form.get();
            QTest::mouseClick(Button(modal, "Command1_1"), Qt::LeftButton);
        });
        QTest::mouseClick(Button(form.get(), "Command2"), Qt::LeftButton);
        QVERIFY(onTop);
        QCOMPARE(confirm.openings(), 1);
        QCOMPARE(sequences, 0);
        QVERIFY(form->isVisible());
        QCOMPARE(form->text1(4)->text(), QStringLiteral("11:11"));
        QCOMPARE(test::ReadAll(f.file()), kStored);
        QCOMPARE(f.saves, 0);
    }

    void visibleBoxesCarryTheHintAndTheHiddenOneDoesNot() {
        Fixture f;
        auto form = f.Open();
        form->show();
        for (int slot = 0; slot < 8; ++slot) {
            QCOMPARE(form->text1(slot)->toolTip(), QStringLiteral("例:输入\"0000\"可获得\"00:00\""));
            QCOMPARE(form->text1(slot)->maxLength(), 5);
            QVERIFY(form->text1(slot)->isVisible());
        }
        QVERIFY(!form->text1(8)->isVisible());
        QCOMPARE(form->check1(8)->toolTip(), QStringLiteral("只有选中此项后方可执行以下各项"));
        // Two columns: Monday..Wednesday left, Thursday..Sunday right, in order top to bottom.
        for (int i = 0; i < 3; ++i) {
            QVERIFY(form->check1(1 + i)->x() < form->check1(5 + i)->x());
            QCOMPARE(form->check1(1 + i)->y(), form->check1(5 + i)->y());
        }
        QCOMPARE(form->check1(8)->y(), form->check1(4)->y());
        QVERIFY(form->check1(0)->y() < form->check1(8)->y());
        QVERIFY(Button(form.get(), "Command1_0")->y() > form->check1(3)->y());
    }
};

}  // namespace lingchao

QTEST_MAIN(lingchao::ShutdownSettingsDialogTest)
#include "shutdown_settings_dialog_test.moc"
