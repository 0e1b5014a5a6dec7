#include "ui/shutdown_settings_dialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <vector>

#include "base/text.h"
#include "store/gbk.h"
#include "store/timeparse.h"
#include "ui/twips.h"
#include "ui/window_placement.h"

namespace lingchao {
namespace {

constexpr int kTimeChars = 5;
const char* const kDesignTime = "00:00";
const char* const kSlotCaption[9] = {"定时", "周一", "周二", "周三", "周四", "周五", "周六", "周日", "每日不同"};

MessageRequest Note(const char* text) {
    MessageRequest box;
    box.text = text;
    box.title = "提示";
    box.icon = MessageIcon::Information;
    box.buttons = MessageButtons::Ok;
    return box;
}

}  // namespace

ShutdownSettingsDialog::ShutdownSettingsDialog(std::filesystem::path appFolder, Dialogs& dialogs,
                                               std::function<void(const ShutdownSettings&)> settingsSaved,
                                               std::function<void()> manualShutdown, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      appFolder_(std::move(appFolder)),
      dialogs_(dialogs),
      settingsSaved_(std::move(settingsSaved)),
      manualShutdown_(std::move(manualShutdown)) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("定时关机"));
    OpenOverOpener(this);
    const double dpi = LogicalDpiOf(parent);
    BuildSlots(dpi);
    BuildButtons();
    LayOut(dpi);
    SetTabOrder();
    setFixedSize(sizeHint());
    TransferShutdownSettings(false);
}

// A check box and a time box for 定时, each weekday and 每日不同 (whose time box only carries time[8]).
void ShutdownSettingsDialog::BuildSlots(double dpi) {
    for (int slot = 0; slot < 9; ++slot) {
        auto* check = new QCheckBox(QString::fromUtf8(kSlotCaption[slot]), this);
        check->setObjectName(QStringLiteral("Check1_%1").arg(slot));
        check1_[static_cast<std::size_t>(slot)] = check;
        auto* text = new QLineEdit(QString::fromLatin1(kDesignTime), this);
        text->setObjectName(QStringLiteral("Text1_%1").arg(slot));
        text->setMaxLength(kTimeChars);
        text->setFixedWidth(TwipsToPixels(810, dpi));
        text->installEventFilter(this);
        text1_[static_cast<std::size_t>(slot)] = text;
        if (slot < 8) {
            text->setToolTip(QStringLiteral("例:输入\"0000\"可获得\"00:00\""));
            // Only the user's own edits: a stored "08" loaded into a box must not grow a colon.
            connect(text, &QLineEdit::textEdited, this, [this, slot] { Text1_Change(slot); });
            connect(text, &QLineEdit::returnPressed, this, [this] { Command1_Click(0); });
        }
    }
    // Carries time[8] from load to save; never shown.
    text1(8)->setVisible(false);
    check1(8)->setStyleSheet(QStringLiteral("QCheckBox { color: blue; }"));
    check1(8)->setToolTip(QStringLiteral("只有选中此项后方可执行以下各项"));
}

void ShutdownSettingsDialog::BuildButtons() {
    manual_ = new QPushButton(QStringLiteral("手动关机(&E)"), this);
    manual_->setObjectName(QStringLiteral("Command2"));
    QPalette red = manual_->palette();
    red.setColor(QPalette::Button, QColor(255, 170, 170));
    manual_->setPalette(red);
    ok_ = new QPushButton(QStringLiteral("确定(&O)"), this);
    ok_->setObjectName(QStringLiteral("Command1_0"));
    cancel_ = new QPushButton(QStringLiteral("取消(&C)"), this);
    cancel_->setObjectName(QStringLiteral("Command1_1"));
    // Enter belongs to the time boxes (OK) and to a focused button; no default button doubles it.
    for (QPushButton* b : {manual_, ok_, cancel_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(ok_, &QPushButton::clicked, this, [this] { Command1_Click(0); });
    connect(cancel_, &QPushButton::clicked, this, [this] { Command1_Click(1); });
    connect(manual_, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

// Two columns: 定时, 每日不同, 周一 to 周三 at the left; 手动关机, 周四 to 周日 at the right; OK and Cancel below.
void ShutdownSettingsDialog::LayOut(double dpi) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(TwipsToPixels(300, dpi), TwipsToPixels(240, dpi), TwipsToPixels(300, dpi),
                             TwipsToPixels(240, dpi));
    grid->setHorizontalSpacing(TwipsToPixels(90, dpi));
    grid->setVerticalSpacing(TwipsToPixels(150, dpi));
    grid->setColumnMinimumWidth(2, TwipsToPixels(360, dpi));
    auto addSlot = [&](int slot, int row, int column) {
        grid->addWidget(check1(slot), row, column);
        grid->addWidget(text1(slot), row, column + 1);
    };
    addSlot(0, 0, 0);
    grid->addWidget(manual_, 0, 3, 1, 2);
    grid->addWidget(check1(8), 1, 0, 1, 2);
    addSlot(4, 1, 3);
    for (int i = 0; i < 3; ++i) {
        addSlot(1 + i, 2 + i, 0);
        addSlot(5 + i, 2 + i, 3);
    }
    grid->addWidget(ok_, 5, 0, 1, 2);
    grid->addWidget(cancel_, 5, 3, 1, 2);
}

// Down the left column, then down the right one, then OK and Cancel.
void ShutdownSettingsDialog::SetTabOrder() {
    std::vector<QWidget*> chain{check1(0), text1(0), check1(8)};
    for (int slot = 1; slot <= 3; ++slot) chain.insert(chain.end(), {check1(slot), text1(slot)});
    chain.push_back(manual_);
    for (int slot = 4; slot <= 7; ++slot) chain.insert(chain.end(), {check1(slot), text1(slot)});
    chain.insert(chain.end(), {ok_, cancel_});
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
}

bool ShutdownSettingsDialog::TransferShutdownSettings(bool save) {
    if (!save) {
        const ShutdownSettings s = LoadShutdownSettings(appFolder_);
        for (std::size_t slot = 0; slot < 9; ++slot) {
            // Only 1 counts as ticked for a day or the daily time, any non-zero for per-weekday mode: the same
            // reading as the scheduler's, so saving an odd old value back as 0/1 keeps its meaning.
            const bool ticked = slot == 8 ? s.check[slot] != 0 : s.check[slot] == 1;
            check1_[slot]->setChecked(ticked);
            const std::string trimmed(Trim(s.time[slot]));
            // A missing, empty or blank record shows the design time, so a first OK needs no typing.
            if (trimmed.empty() && slot < 8) {
                text1_[slot]->setText(QString::fromLatin1(kDesignTime));
            } else {
                text1_[slot]->setText(QString::fromStdString(trimmed));
            }
        }
        return true;
    }
    ShutdownSettings s;
    for (std::size_t slot = 0; slot < 9; ++slot) {
        s.check[slot] = check1_[slot]->isChecked() ? 1 : 0;
        s.time[slot] = text1_[slot]->text().left(kTimeChars).toStdString();
    }
    return SaveShutdownSettings(appFolder_, s);
}

void ShutdownSettingsDialog::Command1_Click(int index) {
    if (index != 0) {
        reject();
        return;
    }
    for (int slot = 0; slot < 8; ++slot) {
        if (!ParseTimeOfDay(text1(slot)->text().toStdString())) {
            dialogs_.Message(Note("时间格式错误！"));
            text1(slot)->setFocus();
            return;
        }
    }
    if (!TransferShutdownSettings(true)) {
        // Closing would suggest the shutdown time is set while the file still holds the old one.
        dialogs_.Message(Note("定时关机设置没有保存：无法写入程序文件夹中的 exit.dll。\n请检查文件夹是否可写。"));
        return;
    }
    if (settingsSaved_) settingsSaved_(LoadShutdownSettings(appFolder_));
    accept();
}

void ShutdownSettingsDialog::Command2_Click() {
    if (manualShutdown_) manualShutdown_();
}

void ShutdownSettingsDialog::Text1_Change(int slot) {
    QLineEdit* box = text1(slot);
    if (box->text().size() == 2) box->insert(QStringLiteral(":"));
}

bool ShutdownSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto* box = qobject_cast<QLineEdit*>(watched)) {
            // After the click that gave the focus has placed the cursor, or that click would undo the selection.
            QTimer::singleShot(0, box, [box] { box->setSelection(0, kTimeChars); });
            box->setSelection(0, kTimeChars);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ShutdownSettingsDialog::showEvent(QShowEvent* event) {
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

}  // namespace lingchao
