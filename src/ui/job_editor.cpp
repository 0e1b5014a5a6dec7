#include "ui/job_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>
#include <functional>

#include "store/gbk.h"
#include "store/job_record.h"
#include "store/timeparse.h"

namespace lingchao {
namespace {

const char* const kNameHelp = "任务名称最长不超过20个汉字。";
const char* const kTimeHelp = "格式08:30,输入0830。";
const char* const kDateHelp = "格式2006-1-1,输入20060101;不填则为Everyday,即每日执行。";
const char* const kPathHelp = "文件地址不超过512个英文字符，否则请缩短文件名或文件路径。";
const char* const kMusicFilter =
    "所有支持类型(*.mp3;*.m3u;*.wav;*.mid;*.wma)|*.mp3;*.m3u;*.wav;*.mid;*.wma|所有文件(*.*)|*.*|";

// Refuses typing that would take the text past `limit` GBK bytes. A text that is already longer (a browsed
// path) may still shrink, so it can be mended by hand.
class GbkLimitValidator final : public QValidator {
public:
    GbkLimitValidator(std::size_t limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    void SetBaseline(std::size_t bytes) { baseline_ = bytes; }
    State validate(QString& input, int&) const override {
        const std::size_t bytes = GbkByteLength(input.toStdString());
        return bytes <= limit_ || bytes <= baseline_ ? Acceptable : Invalid;
    }

private:
    std::size_t limit_;
    std::size_t baseline_ = 0;
};

}  // namespace

// A text box of the editor: whole text selected on entering, caret to the start on leaving, Enter reported.
class EditorBox final : public QLineEdit {
public:
    EditorBox(std::size_t byteLimit, QWidget* parent) : QLineEdit(parent) {
        if (byteLimit > 0) {
            validator_ = new GbkLimitValidator(byteLimit, this);
            setValidator(validator_);
            connect(this, &QLineEdit::textChanged, this,
                    [this](const QString& text) { validator_->SetBaseline(GbkByteLength(text.toStdString())); });
        }
    }

    // Sets the text whole, past the typing limit if need be (a loaded field, a browsed path).
    void SetTextWhole(const QString& text) {
        if (validator_ != nullptr) validator_->SetBaseline(GbkByteLength(text.toStdString()));
        setText(text);
        // Like a box the user has left: a long path shows its beginning (the drive and folders), not its end.
        if (!hasFocus()) setCursorPosition(0);
    }

    std::function<void()> onEntered;
    std::function<void()> onEnter;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        // Back from the box's own context menu: the user's selection stays as it was.
        if (event->reason() == Qt::PopupFocusReason) return;
        selectAll();
        // A click places the caret after the focus arrives; select again once it has.
        if (event->reason() == Qt::MouseFocusReason) {
            QTimer::singleShot(0, this, [this] {
                if (hasFocus()) selectAll();
            });
        }
        if (onEntered) onEntered();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        if (event->reason() != Qt::PopupFocusReason) setCursorPosition(0);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onEnter) {
            event->accept();
            onEnter();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    GbkLimitValidator* validator_ = nullptr;
};

void AutoDateDashes(QLineEdit* box) {
    QObject::connect(box, &QLineEdit::textChanged, box, [box](const QString& text) {
        if (text.size() == 4 || text.size() == 7) box->insert(QStringLiteral("-"));
    });
}

Form6::Form6(Services services, QWidget* parent) : QDialog(parent), s_(std::move(services)) {
    setObjectName(QStringLiteral("Form6"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    BuildControls();
    ShowHelp(kNameHelp);
    combo1_->setCurrentIndex(0);
}

void Form6::BuildControls() {
    auto* leftColumn = new QVBoxLayout;
    leftColumn->addLayout(BuildFieldRows());
    leftColumn->addWidget(BuildHelpFrame(), 1);

    auto* rightColumn = new QVBoxLayout;
    rightColumn->addLayout(BuildWeekdayRows());
    rightColumn->addStretch(1);
    rightColumn->addLayout(BuildOkCancel());

    auto* top = new QHBoxLayout(this);
    top->addLayout(leftColumn, 1);
    top->addSpacing(fontMetrics().horizontalAdvance(QChar(0x4E2D)));
    top->addLayout(rightColumn, 1);
    top->setSizeConstraint(QLayout::SetFixedSize);

    ConnectBoxes();
    SetTabOrder();
}

QPushButton* Form6::MakeBrowseButton(int row) {
    auto* button = new QPushButton(QStringLiteral("…"), this);
    button->setObjectName(QStringLiteral("Command2_%1").arg(row));
    button->setAutoDefault(false);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("……")) + 8);
    connect(button, &QPushButton::clicked, this, [this, row] { Command2_Click(row); });
    command2_[static_cast<std::size_t>(row)] = button;
    return button;
}

EditorBox* Form6::MakePathBox(int row) {
    // Every music path, the weekdays' too, may use the whole field of the record.
    auto* box = new EditorBox(job_layout::kMusicWidth, this);
    box->setObjectName(QStringLiteral("Text2_%1").arg(row));
    // The tooltip shows a long path whole.
    connect(box, &QLineEdit::textChanged, box, [box](const QString& text) { box->setToolTip(text); });
    text2_[static_cast<std::size_t>(row)] = box;
    return box;
}

// Number, name, time, date, mode, music and the daily-song box, one row each.
QGridLayout* Form6::BuildFieldRows() {
    auto* left = new QGridLayout;
    const std::array<const char*, 5> captions{"任务编号：", "任务名称：", "执行时间：", "执行日期：", "执行方式："};
    const std::array<std::size_t, 4> limits{0, 40, 5, 10};
    for (std::size_t i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromUtf8(captions[i]), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        text1_[i] = new EditorBox(limits[i], this);
        text1_[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        label->setBuddy(text1_[i]);
        left->addWidget(label, static_cast<int>(i), 0);
        left->addWidget(text1_[i], static_cast<int>(i), 1, 1, 2);
    }
    text1_[0]->setEnabled(false);
    text1_[0]->setReadOnly(true);
    text1_[1]->setMinimumWidth(fontMetrics().horizontalAdvance(QString(21, QChar(0x4E2D))));

    auto* modeLabel = new QLabel(QString::fromUtf8(captions[4]), this);
    modeLabel->setObjectName(QStringLiteral("Label1_4"));
    combo1_ = new QComboBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->addItems({QStringLiteral("START"), QStringLiteral("PAUSE")});
    left->addWidget(modeLabel, 4, 0);
    left->addWidget(combo1_, 4, 1, 1, 2);

    auto* musicLabel = new QLabel(QStringLiteral("播放音乐："), this);
    musicLabel->setObjectName(QStringLiteral("Label1_5"));
    left->addWidget(musicLabel, 5, 0);
    left->addWidget(MakePathBox(0), 5, 1);
    left->addWidget(MakeBrowseButton(0), 5, 2);

    auto* dailyLabel = new QLabel(QStringLiteral("每日一曲："), this);
    dailyLabel->setObjectName(QStringLiteral("Label1_6"));
    QPalette blue = dailyLabel->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    dailyLabel->setPalette(blue);
    check1_[0] = new QCheckBox(this);
    check1_[0]->setObjectName(QStringLiteral("Check1_0"));
    left->addWidget(dailyLabel, 6, 0);
    left->addWidget(check1_[0], 6, 1);
    left->setColumnStretch(1, 1);
    return left;
}

QGroupBox* Form6::BuildHelpFrame() {
    auto* helpFrame = new QGroupBox(QStringLiteral("帮助"), this);
    helpFrame->setObjectName(QStringLiteral("Frame1"));
    auto* helpIcon = new QLabel(helpFrame);
    helpIcon->setObjectName(QStringLiteral("Image1"));
    const int iconSize = fontMetrics().height();
    helpIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(iconSize, iconSize));
    helpIcon->setAlignment(Qt::AlignTop);
    label2_ = new QLabel(helpFrame);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setWordWrap(true);
    label2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The help text must not size the window: it wraps in the width the boxes give it, within three lines.
    label2_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label2_->setFixedHeight(fontMetrics().lineSpacing() * 3);
    auto* helpLayout = new QHBoxLayout(helpFrame);
    helpLayout->addWidget(helpIcon);
    helpLayout->addWidget(label2_, 1);
    return helpFrame;
}

// 星期一 … 星期日: the check box, the song's path and its browse button.
QGridLayout* Form6::BuildWeekdayRows() {
    auto* right = new QGridLayout;
    const std::array<const char*, 7> weekdays{"星期一", "星期二", "星期三", "星期四", "星期五", "星期六", "星期日"};
    for (int d = 1; d <= 7; ++d) {
        auto* check = new QCheckBox(QString::fromUtf8(weekdays[static_cast<std::size_t>(d - 1)]), this);
        check->setObjectName(QStringLiteral("Check1_%1").arg(d));
        check1_[static_cast<std::size_t>(d)] = check;
        right->addWidget(check, d - 1, 0);
        EditorBox* path = MakePathBox(d);
        path->setMinimumWidth(fontMetrics().horizontalAdvance(QString(30, QLatin1Char('x'))));
        right->addWidget(path, d - 1, 1);
        right->addWidget(MakeBrowseButton(d), d - 1, 2);
    }
    right->setColumnStretch(1, 1);
    return right;
}

QHBoxLayout* Form6::BuildOkCancel() {
    command1_[0] = new QPushButton(QStringLiteral("确定(&O)"), this);
    command1_[0]->setObjectName(QStringLiteral("Command1_0"));
    command1_[1] = new QPushButton(QStringLiteral("取消(&C)"), this);
    command1_[1]->setObjectName(QStringLiteral("Command1_1"));
    for (QPushButton* b : command1_) b->setAutoDefault(false);
    connect(command1_[0], &QPushButton::clicked, this, [this] { OkClick(); });
    connect(command1_[1], &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command1_[0]);
    buttons->addWidget(command1_[1]);
    return buttons;
}

// Help on entering a box, Enter moving on, and the separators of the time and the date.
void Form6::ConnectBoxes() {
    text1_[1]->onEntered = [this] { ShowHelp(kNameHelp); };
    text1_[2]->onEntered = [this] { ShowHelp(kTimeHelp); };
    text1_[3]->onEntered = [this] { ShowHelp(kDateHelp); };
    text1_[1]->onEnter = [this] { text1_[2]->setFocus(Qt::OtherFocusReason); };
    text1_[2]->onEnter = [this] { text1_[3]->setFocus(Qt::OtherFocusReason); };
    text1_[3]->onEnter = [this] { text2_[0]->setFocus(Qt::OtherFocusReason); };
    for (int i = 0; i < 8; ++i) {
        EditorBox* box = text2_[static_cast<std::size_t>(i)];
        box->onEntered = [this] { ShowHelp(kPathHelp); };
        box->onEnter = [this, box, i] {
            if (box->text().isEmpty()) {
                Command2_Click(i);
            } else {
                OkClick();
            }
        };
    }

    // The separators are typed into the box as the user's own keys would be: at the caret, within the limit,
    // and again after a backspace over them.
    connect(text1_[2], &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.size() == 2) text1_[2]->insert(QStringLiteral(":"));
    });
    AutoDateDashes(text1_[3]);
}

void Form6::SetTabOrder() {
    QWidget* chain[] = {text1_[1], text1_[2], text1_[3], combo1_, text2_[0], command2_[0], check1_[0]};
    for (std::size_t i = 0; i + 1 < std::size(chain); ++i) setTabOrder(chain[i], chain[i + 1]);
    QWidget* previous = check1_[0];
    for (std::size_t d = 1; d <= 7; ++d) {
        setTabOrder(previous, check1_[d]);
        setTabOrder(check1_[d], text2_[d]);
        setTabOrder(text2_[d], command2_[d]);
        previous = command2_[d];
    }
    setTabOrder(previous, command1_[0]);
    setTabOrder(command1_[0], command1_[1]);
}

void Form6::ShowHelp(const char* text) { label2_->setText(QString::fromUtf8(text)); }

void Form6::SetFields(const JobEditorFields& fields) {
    const int mode = combo1_->findText(QString::fromStdString(fields.state));
    if (mode >= 0) combo1_->setCurrentIndex(mode);
    text1_[0]->SetTextWhole(QString::fromStdString(fields.number));
    text1_[1]->SetTextWhole(QString::fromStdString(fields.name));
    text1_[2]->SetTextWhole(QString::fromStdString(fields.time));
    text1_[3]->SetTextWhole(QString::fromStdString(fields.date));
    for (std::size_t i = 0; i < 8; ++i) {
        text2_[i]->SetTextWhole(QString::fromStdString(fields.music[i]));
        // A value other than 0 and 1 (the grey state) is kept as it was.
        const std::int16_t v = fields.checks[i];
        check1_[i]->setTristate(v == 2);
        check1_[i]->setCheckState(v == 1 ? Qt::Checked : v == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    }
}

JobEditorFields Form6::Fields() const {
    JobEditorFields f;
    f.state = combo1_->currentText().toStdString();
    f.number = text1_[0]->text().toStdString();
    f.name = text1_[1]->text().toStdString();
    f.time = text1_[2]->text().toStdString();
    f.date = text1_[3]->text().toStdString();
    for (std::size_t i = 0; i < 8; ++i) {
        f.music[i] = text2_[i]->text().toStdString();
        const Qt::CheckState state = check1_[i]->checkState();
        f.checks[i] = static_cast<std::int16_t>(state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0);
    }
    return f;
}

bool Form6::TimeTextPasses(const std::string& text) { return ParseTimeOfDay(text).has_value(); }

bool Form6::DateTextPasses(const std::string& text) {
    if (ParseDate(text)) return text.size() >= 10;
    return text.empty() || text == "Everyday";
}

void Form6::Command2_Click(int row) {
    const FileDialogRequest request{"打开", kMusicFilter, (s_.appFolder / "music").string()};
    if (const auto chosen = s_.dialogs.OpenFile(request)) {
        text2_[static_cast<std::size_t>(row)]->SetTextWhole(QString::fromStdString(*chosen));
    }
}

void Form6::OkClick() {
    const auto refuse = [this](const char* text, QLineEdit* box) {
        s_.dialogs.Message({text, "提示", MessageIcon::Information, MessageButtons::Ok, 0});
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();  // also when the box kept the focus: the next key replaces the wrong text
    };
    if (!TimeTextPasses(text1_[2]->text().toStdString())) return refuse("时间格式错误！", text1_[2]);
    if (!DateTextPasses(text1_[3]->text().toStdString())) return refuse("日期格式错误！", text1_[3]);
    // A job that could not be written stays in the dialog rather than vanish as if saved.
    if (!s_.jilu.SaveJobFromEditor(kDefaultGroup, Fields())) {
        const std::string text = "任务保存失败！\n" + s_.jilu.LastFailure();
        return refuse(text.c_str(), text1_[1]);
    }
    accept();
}

void Form6::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // No button is the default: Enter presses only the button that has the focus.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form6::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!focusedOnce_) {
        focusedOnce_ = true;
        text1_[1]->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace lingchao
