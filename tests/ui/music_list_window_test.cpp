#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "player/music_list.h"
#include "store/gbk.h"
#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/clock_window.h"
#include "ui/music_list_window.h"

namespace lingchao {
namespace {

using Rows = std::vector<std::string>;

const QString kPlaceholder = QStringLiteral("输入列表名");

// Types any text, Chinese included, as key presses (QTest::keyClicks takes ASCII only).
void Type(QWidget* widget, const QString& text) {
    for (const QChar ch : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

struct Fixture {
    test::TempFolder dir;
    std::filesystem::path music = dir / "music";
    test::FakePlayer player;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<Form5> form;

    Fixture() {
        std::filesystem::create_directory(music);
        test::WriteAll(music / "null.dll", {});
    }
    void SaveList(const std::string& name, const Rows& rows) { QVERIFY(WriteMusicList(ListPath(name), rows)); }
    std::filesystem::path ListPath(const std::string& name) const { return music / (name + ".m3u"); }
    Form5& Open() {
        form = std::make_unique<Form5>(music, player, dialogs);
        return *form;
    }
    // Shown and active, so that focus and access keys behave as for the user.
    Form5& OpenShown() {
        Open();
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get())) qWarning("window not active");
        return *form;
    }
    template <typename W = QWidget>
    W* Child(const char* name) const {
        return form->findChild<W*>(QString::fromLatin1(name));
    }
    QComboBox* combo() const { return Child<QComboBox>("Combo1"); }
    QListWidget* list() const { return Child<QListWidget>("List1"); }
    void Click(const char* button) const { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < list()->count(); ++i) rows << list()->item(i)->text();
        return rows;
    }
    QStringList Names() const {
        QStringList names;
        for (int i = 0; i < combo()->count(); ++i) names << combo()->itemText(i);
        return names;
    }
    // Types a name into the name box the way the user does and presses Enter.
    void EnterName(const QString& name) const {
        combo()->setFocus(Qt::MouseFocusReason);
        Type(combo(), name);
        QTest::keyClick(combo(), Qt::Key_Return);
    }
    void ClickRow(int row, bool twice = false) const {
        const QPoint at = list()->visualItemRect(list()->item(row)).center();
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
        // A real double click: the first click, then the second press arriving as a double click.
        if (twice) QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    }
};

// Notes each window that a modal window blocks.
class BlockWatch final : public QObject {
public:
    explicit BlockWatch(std::vector<QObject*>& blocked) : blocked_(blocked) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked) blocked_.push_back(watched);
        return false;
    }

private:
    std::vector<QObject*>& blocked_;
};

void ExpectInformation(const test::ScriptedDialogs& dialogs, const char* text) {
    QVERIFY(!dialogs.messages.empty());
    const MessageRequest& box = dialogs.messages.back();
    QCOMPARE(QString::fromStdString(box.text), QString::fromUtf8(text));
    QCOMPARE(QString::fromStdString(box.title), QStringLiteral("信息"));
    QCOMPARE(box.icon, MessageIcon::Information);
    QCOMPARE(box.buttons, MessageButtons::Ok);
}

}  // namespace

class MusicListWindowTest final : public QObject {
    Q_OBJECT
private slots:
    void captionsAndTooltips_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tooltip");
        const auto row = [](const char* name, const char* caption, const char* tooltip) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption)
                                << QString::fromUtf8(tooltip);
        };
        row("Combo1", "输入列表名", "输入新的列表名，点\"保存\"创建新列表");
        row("Command2_0", "▼", "播放");
        row("Command2_3", "■", "停止");
        row("Command1_0", "添加(&A)", "添加音乐文件地址到音乐列表");
        row("Command1_1", "上移(&U)", "向上移动一个位置");
        row("Command1_2", "下移(&D)", "向下移动一个位置");
        row("Command1_3", "移除(&M)", "删除一个音乐文件地址从列表中");
        row("Command1_4", "清空(&C)", "删除所有音乐文件地址从列表中");
        row("Command3", "删除列表(&K)", "删除选定音乐列表");
        row("Command2_1", "保存(&S)", "保存修改");
        row("Command2_2", "退出(&Q)", "退出");
        row("Command4_0", "&L", "");
        row("Command4_1", "&F", "");
        row("Label1_0", "列表名( )", "");
        row("Label1_2", "L", "");
        row("Label1_1", "音乐文件( )", "");
        row("Label1_3", "F", "");
    }
    void captionsAndTooltips() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, tooltip);
        Fixture f;
        f.Open();
        QWidget* w = f.form->findChild<QWidget*>(name);
        QVERIFY2(w != nullptr, qPrintable(name));
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            QCOMPARE(button->text(), caption);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            QCOMPARE(label->text(), caption);
        } else if (auto* box = qobject_cast<QComboBox*>(w)) {
            QCOMPARE(box->currentText(), caption);
            QVERIFY(box->isEditable());
        }
        QCOMPARE(w->toolTip(), tooltip);
    }

    void windowIsAFixedModalDialogWithItsCaption() {
        Fixture f;
        f.Open();
        QCOMPARE(f.form->objectName(), QStringLiteral("Form5"));
        QCOMPARE(f.form->windowTitle(), QStringLiteral("音乐列表"));
        QVERIFY(f.form->isModal());
        QCOMPARE(f.form->minimumSize(), f.form->maximumSize());
    }

    // Open over the main window, the editor leaves the floating clock and its menu (stop, quit) within reach.
    void blocksTheMainWindowButNotTheClock() {
        QWidget mainWindow;  // outlives the editor it parents
        mainWindow.resize(300, 200);
        Fixture f;
        ClockWindow clock(ClockWindow::Hooks{});
        std::vector<QObject*> blocked;
        BlockWatch watch(blocked);
        mainWindow.installEventFilter(&watch);
        clock.installEventFilter(&watch);
        mainWindow.show();
        clock.show();
        f.form = std::make_unique<Form5>(f.music, f.player, f.dialogs, &mainWindow);
        f.form->show();
        QTRY_VERIFY(std::count(blocked.begin(), blocked.end(), &mainWindow) > 0);
        QApplication::processEvents();
        QCOMPARE(std::count(blocked.begin(), blocked.end(), &clock), 0);
    }

    void keyLettersAreUnderlinedInsideTheBrackets() {
        Fixture f;
        f.OpenShown();
        for (const auto& [labelName, keyName, before] :
             {std::tuple{"Label1_0", "Label1_2", "列表名("}, std::tuple{"Label1_1", "Label1_3", "音乐文件("}}) {
            auto* label = f.Child<QLabel>(labelName);
            auto* key = f.Child<QLabel>(keyName);
            QVERIFY(key->font().underline());
            QCOMPARE(key->parentWidget(), label);
            const QFontMetrics m(label->font());
            const int open = m.horizontalAdvance(QString::fromUtf8(before));
            const int close = label->sizeHint().width() - m.horizontalAdvance(QLatin1Char(')'));
            // The letter lies whole in the gap between the brackets.
            QVERIFY(key->geometry().left() >= open);
            QVERIFY(key->geometry().right() < close);
        }
    }

    void layoutPlacesControlsWhereTheUserLooks() {
        Fixture f;
        f.OpenShown();
        const auto box = [&f](const char* name) { return f.Child(name)->geometry(); };
        const QRect window = f.form->rect();
        QVERIFY(box("Label1_0").bottom() <= box("Combo1").top());
        QVERIFY(box("Combo1").bottom() <= box("Label1_1").top());
        QVERIFY(box("Label1_1").bottom() <= box("List1").top());
        // Play then stop, right of the name box.
        QVERIFY(box("Command2_0").left() >= box("Combo1").right());
        QVERIFY(box("Command2_3").left() >= box("Command2_0").right());
        // The entry buttons in a column right of the list, top to bottom.
        for (int i = 0; i < 5; ++i) {
            const QRect b = box(qPrintable(QStringLiteral("Command1_%1").arg(i)));
            QVERIFY(b.left() >= box("List1").right());
            if (i > 0) QVERIFY(b.top() >= box(qPrintable(QStringLiteral("Command1_%1").arg(i - 1))).bottom());
        }
        // Along the bottom: delete at the left, save and quit at the right.
        for (const char* name : {"Command3", "Command2_1", "Command2_2"}) {
            QVERIFY(box(name).top() >= box("List1").bottom());
            QVERIFY(window.contains(box(name)));
        }
        QVERIFY(box("Command3").right() < box("Command2_1").left());
        QVERIFY(box("Command2_1").right() < box("Command2_2").left());
        QVERIFY(box("Command3").left() < window.width() / 3);
        for (const char* name : {"Command4_0", "Command4_1"}) QVERIFY(!window.intersects(box(name)));
    }

    void playButtonTriangleLiesOnItsSidePointingRight() {
        Fixture f;
        f.OpenShown();
        const QImage image = f.Child("Command2_0")->grab().toImage();
        const QColor ink = f.Child("Command2_0")->palette().color(QPalette::ButtonText);
        // Height of the glyph's ink per column, inside the bevel.
        std::vector<int> heights;
        for (int x = 4; x < image.width() - 4; ++x) {
            int count = 0;
            for (int y = 4; y < image.height() - 4; ++y) {
                const QColor c = image.pixelColor(x, y);
                if (qAbs(c.red() - ink.red()) + qAbs(c.green() - ink.green()) + qAbs(c.blue() - ink.blue()) < 150)
                    ++count;
            }
            if (count > 0) heights.push_back(count);
        }
        QVERIFY2(heights.size() >= 3, "no triangle drawn");
        // ▶: tallest at its left edge, a point at its right; ▼ would be symmetric.
        QVERIFY(heights.front() > 2 * heights.back());
    }

    void enteringTheNameBoxEmptiesThePlaceholderOnly() {
        Fixture f;
        f.OpenShown();
        QVERIFY(!f.combo()->hasFocus());
        QCOMPARE(f.combo()->currentText(), kPlaceholder);
        f.combo()->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(f.combo()->hasFocus());
        QCOMPARE(f.combo()->currentText(), QString());
        Type(f.combo(), QStringLiteral("晨读"));
        f.list()->setFocus(Qt::TabFocusReason);
        f.combo()->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.combo()->currentText(), QStringLiteral("晨读"));
        QCOMPARE(f.form->editor().nameText(), std::string("晨读"));
    }

    void accessKeysMoveTheFocus() {
        Fixture f;
        f.OpenShown();
        QTest::keyClick(f.form->windowHandle(), Qt::Key_L, Qt::AltModifier);
        QTRY_VERIFY(f.combo()->hasFocus());
        QCOMPARE(f.combo()->currentText(), QString());  // entering by Alt+L empties the placeholder too
        QTest::keyClick(f.form->windowHandle(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(f.list()->hasFocus());
    }

    void enterOnAnUnknownNameAsksAndYesOpensTheAddDialog() {
        Fixture f;
        f.OpenShown();
        f.dialogs.answers = {MessageAnswer::Yes};
        f.dialogs.files = {std::string("/home/学校/铃声/上课.mp3")};
        f.EnterName(QStringLiteral("新列表"));
        QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
        const MessageRequest& ask = f.dialogs.messages[0];
        QCOMPARE(QString::fromStdString(ask.text), QStringLiteral("是否创建新列表？"));
        QCOMPARE(QString::fromStdString(ask.title), QStringLiteral("新建列表"));
        QCOMPARE(ask.icon, MessageIcon::Question);
        QCOMPARE(ask.buttons, MessageButtons::YesNo);
        QCOMPARE(f.dialogs.fileRequests.size(), std::size_t{1});
        const FileDialogRequest& add = f.dialogs.fileRequests[0];
        QCOMPARE(QString::fromStdString(add.title), QStringLiteral("添加音乐"));
        QCOMPARE(std::filesystem::path(add.startFolder), f.music);
        QCOMPARE(QString::fromStdString(add.filter),
                 QStringLiteral("所有支持类型(*.mp3;*.wav;*.mid;*.wma;*.wmv)|*.mp3;*.wav;*.mid;*.wma;*.wmv|"
                                "所有文件(*.*)|*.*|"));
        QCOMPARE(f.Rows(), QStringList{QStringLiteral("/home/学校/铃声/上课.mp3")});
        QCOMPARE(f.combo()->currentText(), QStringLiteral("新列表"));
        QVERIFY(!std::filesystem::exists(f.ListPath("新列表")));
    }

    void enterWithNoNameAsksNothing() {
        Fixture f;
        f.OpenShown();
        f.EnterName(QString());
        QTest::keyClick(f.combo(), Qt::Key_Enter);
        QVERIFY(f.dialogs.messages.empty());
        QVERIFY(f.dialogs.fileRequests.empty());
        QVERIFY(f.form->isVisible());  // Enter is not a default button
    }

    void enterAndDropDownOpenAnExistingList() {
        Fixture f;
        f.SaveList("早操", {"#EXTM3U", "", "/音乐/广播操.mp3"});
        f.SaveList("午休", {"/音乐/午休.wav"});
        f.OpenShown();
        QCOMPARE(f.Names().size(), 2);
        QVERIFY(f.Names().contains(QStringLiteral("早操")));
        f.EnterName(QStringLiteral("早操"));
        QCOMPARE(f.Rows(), (QStringList{QStringLiteral("#EXTM3U"), QString(), QStringLiteral("/音乐/广播操.mp3")}));
        QVERIFY(f.dialogs.messages.empty());

        const int index = f.combo()->findText(QStringLiteral("午休"));
        emit f.combo()->activated(index);
        QCOMPARE(f.Rows(), QStringList{QStringLiteral("/音乐/午休.wav")});
        QCOMPARE(f.combo()->currentText(), QStringLiteral("午休"));
    }

    void moveKeepsTheMovedRowSelected() {
        Fixture f;
        f.SaveList("a", {"1", "2", "3"});
        f.OpenShown();
        f.EnterName(QStringLiteral("a"));
        f.ClickRow(0);
        QCOMPARE(f.list()->toolTip(), QStringLiteral("1"));
        f.Click("Command1_2");
        f.Click("Command1_2");
        QCOMPARE(f.Rows(), (QStringList{"2", "3", "1"}));
        QCOMPARE(f.list()->currentRow(), 2);
        QCOMPARE(f.list()->selectedItems().size(), 1);
        QCOMPARE(f.list()->selectedItems()[0]->text(), QStringLiteral("1"));
        f.Click("Command1_2");  // already last
        QCOMPARE(f.Rows(), (QStringList{"2", "3", "1"}));
        f.Click("Command1_1");
        QCOMPARE(f.Rows(), (QStringList{"2", "1", "3"}));
        QCOMPARE(f.list()->currentRow(), 1);
        QCOMPARE(f.form->editor().selectedRow(), 1);
        f.ClickRow(2);
        QCOMPARE(f.list()->toolTip(), QStringLiteral("3"));
    }

    void doubleClickRemovesTheRowAndClearEmptiesTheList() {
        Fixture f;
        f.SaveList("a", {"1", "2", "3"});
        f.OpenShown();
        f.EnterName(QStringLiteral("a"));
        f.ClickRow(1, true);
        QCOMPARE(f.Rows(), (QStringList{"1", "3"}));
        QCOMPARE(f.list()->selectedItems().size(), 0);
        f.Click("Command1_3");  // no row selected: nothing
        QCOMPARE(f.Rows(), (QStringList{"1", "3"}));
        f.ClickRow(0);
        f.Click("Command1_3");
        QCOMPARE(f.Rows(), QStringList{"3"});
        f.Click("Command1_4");
        QCOMPARE(f.Rows(), QStringList());
        QVERIFY(f.dialogs.messages.empty());
        QCOMPARE(f.form->editor().entries().size(), std::size_t{0});
    }

    void enteringTheListChoosesNoRowKeysDo() {
        Fixture f;
        f.SaveList("a", {"1", "2"});
        f.OpenShown();
        f.EnterName(QStringLiteral("a"));
        QTest::keyClick(f.form->windowHandle(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(f.list()->hasFocus());
        f.Click("Command1_3");
        QCOMPARE(f.Rows(), (QStringList{"1", "2"}));
        f.list()->setFocus();
        QTest::keyClick(f.list(), Qt::Key_Down);
        QTest::keyClick(f.list(), Qt::Key_Down);
        QCOMPARE(f.form->editor().selectedRow(), 1);
        QCOMPARE(f.list()->toolTip(), QStringLiteral("2"));
        f.Click("Command1_3");
        QCOMPARE(f.Rows(), QStringList{"1"});
    }

    void ownStopReleasesTheListForSaveAndDelete() {
        Fixture f;
        f.SaveList("a", {"1"});
        f.OpenShown();
        f.EnterName(QStringLiteral("a"));
        f.Click("Command2_0");
        QCOMPARE(f.player.fileName, MusicListPath(f.music, "a"));
        f.Click("Command2_1");
        ExpectInformation(f.dialogs, "列表正在使用，暂时无法保存！");
        f.Click("Command2_3");
        QCOMPARE(f.player.fileName, (f.music / "null.dll").string());
        f.dialogs.answers = {MessageAnswer::Ok};
        f.Click("Command3");
        QCOMPARE(QString::fromStdString(f.dialogs.messages.back().text), QStringLiteral("确定要删除音乐列表吗？"));
        QVERIFY(!std::filesystem::exists(f.ListPath("a")));
    }

    void addWithoutANameSaysWhyAndSendsTheFocusToTheNameBox() {
        Fixture f;
        f.OpenShown();
        f.dialogs.files = {std::string("/音乐/一.mp3")};
        f.Click("Command1_0");
        ExpectInformation(f.dialogs, "请输入列表名称！");
        QVERIFY(f.dialogs.fileRequests.empty());
        QCOMPARE(f.Rows(), QStringList());
        QTRY_VERIFY(f.combo()->hasFocus());
    }

    void saveWritesTheFileThenShowsThePlaceholderWithTheNewName() {
        Fixture f;
        f.OpenShown();
        f.dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Ok};
        f.dialogs.files = {std::string("/音乐/一.mp3"), std::string("/音乐/二.wav")};
        f.EnterName(QStringLiteral("课间"));
        f.Click("Command1_0");
        f.Click("Command2_1");
        const MessageRequest& ask = f.dialogs.messages.back();
        QCOMPARE(QString::fromStdString(ask.text), QStringLiteral("确定要保存列表吗？"));
        QCOMPARE(QString::fromStdString(ask.title), QStringLiteral("保存列表"));
        QCOMPARE(ask.buttons, MessageButtons::OkCancel);
        QCOMPARE(ask.defaultButton, 1);
        const std::string expected = Utf8ToGbk("/音乐/一.mp3\r\n/音乐/二.wav\r\n");
        const std::vector<std::uint8_t> bytes = test::ReadAll(f.ListPath("课间"));
        QCOMPARE(std::string(bytes.begin(), bytes.end()), expected);
        QCOMPARE(f.combo()->currentText(), kPlaceholder);
        QVERIFY(f.Names().contains(QStringLiteral("课间")));
        QCOMPARE(f.Rows(), QStringList());
    }

    void saveWithoutANameSendsTheFocusToTheNameBox() {
        Fixture f;
        f.SaveList("a", {"1"});
        f.OpenShown();
        f.EnterName(QStringLiteral("a"));
        f.combo()->setEditText(QString());
        f.Click("Command2_1");
        ExpectInformation(f.dialogs, "请输入列表名称！");
        QTRY_VERIFY(f.combo()->hasFocus());
        QCOMPARE(f.Rows(), QStringList{"1"});
    }

    void deleteRemovesTheFileAndReloads() {
        Fixture f;
        f.SaveList("a", {"1"});
        f.SaveList("b", {"2"});
        f.OpenShown();
        f.EnterName(QStringLiteral("a"));
        f.dialogs.answers = {MessageAnswer::Ok};
        f.Click("Command3");
        QCOMPARE(QString::fromStdString(f.dialogs.messages.back().title), QStringLiteral("删除列表"));
        QVERIFY(!std::filesystem::exists(f.ListPath("a")));
        QCOMPARE(f.Names(), QStringList{"b"});
        QCOMPARE(f.combo()->currentText(), kPlaceholder);
        QCOMPARE(f.Rows(), QStringList());
    }

    void escAndQuitCloseWithoutSaving_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("Esc in the entry list") << QStringLiteral("list");
        QTest::newRow("Esc in the name box") << QStringLiteral("name");
        QTest::newRow("退出") << QStringLiteral("quit");
    }
    void escAndQuitCloseWithoutSaving() {
        QFETCH(QString, way);
        Fixture f;
        f.dialogs.answers = {MessageAnswer::Yes};
        f.dialogs.files = {std::string("/音乐/一.mp3")};
        f.Open();
        QTimer::singleShot(0, f.form.get(), [&f, way] {
            f.EnterName(QStringLiteral("未存"));
            if (way == QStringLiteral("quit")) {
                f.Click("Command2_2");
            } else {
                QTest::keyClick(way == QStringLiteral("list") ? static_cast<QWidget*>(f.list()) : f.combo(),
                                Qt::Key_Escape);
            }
        });
        QCOMPARE(f.form->exec(), int(QDialog::Rejected));
        QVERIFY(!f.form->isVisible());
        QCOMPARE(f.dialogs.messages.size(), std::size_t{1});  // only the new-list question
        QVERIFY(!std::filesystem::exists(f.ListPath("未存")));
    }
};

}  // namespace lingchao

QTEST_MAIN(lingchao::MusicListWindowTest)
#include "music_list_window_test.moc"
