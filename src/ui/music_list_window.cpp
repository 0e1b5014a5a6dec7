#include "ui/music_list_window.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>
#include <functional>
#include <utility>

#include "ui/twips.h"
#include "ui/window_placement.h"

namespace lingchao {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// "▼" lying on its side, pointing right, as the original's vertical font drew it; text() stays "▼".
class SidewaysButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.translate(QRectF(rect()).center());
        painter.rotate(-90.0);
        const QRectF turned(-height() / 2.0, -width() / 2.0, height(), width());
        painter.drawText(turned, Qt::AlignCenter, text());
    }
};

// A caption whose one blank is drawn as a gap of a given width, wide enough for a letter laid over it.
class GapLabel final : public QLabel {
public:
    GapLabel(const QString& caption, int gapWidth, QWidget* parent)
        : QLabel(caption, parent),
          before_(caption.section(QLatin1Char(' '), 0, 0)),
          after_(caption.section(QLatin1Char(' '), 1)),
          gapWidth_(gapWidth) {}

    QRect GapRect() const { return {fontMetrics().horizontalAdvance(before_), 0, gapWidth_, sizeHint().height()}; }
    QSize sizeHint() const override {
        const QFontMetrics m = fontMetrics();
        return {m.horizontalAdvance(before_) + gapWidth_ + m.horizontalAdvance(after_), m.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect gap = GapRect();
        painter.drawText(QRect(0, 0, gap.left(), height()), Qt::AlignLeft | Qt::AlignVCenter, before_);
        painter.drawText(QRect(gap.right() + 1, 0, width() - gap.right() - 1, height()),
                         Qt::AlignLeft | Qt::AlignVCenter, after_);
    }

private:
    QString before_;
    QString after_;
    int gapWidth_;
};

}  // namespace

// The name box: reports entering it and Enter, and keeps Enter away from the combo's own item handling.
class NameBox final : public QComboBox {
public:
    explicit NameBox(QWidget* parent) : QComboBox(parent) {
        setEditable(true);
        setInsertPolicy(QComboBox::NoInsert);
        // A typed name stays as typed: no inline completion from the existing names.
        setCompleter(nullptr);
    }

    std::function<void()> onEntered;
    std::function<void()> onEnter;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QComboBox::focusInEvent(event);
        // Back from the drop-down or a context menu is not entering the box.
        if (event->reason() != Qt::PopupFocusReason && onEntered) onEntered();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onEnter) {
            event->accept();
            onEnter();
            return;
        }
        QComboBox::keyPressEvent(event);
    }
};

Form5::Form5(std::filesystem::path musicFolder, MediaPlayer& player, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), editor_(std::move(musicFolder), player, dialogs) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("音乐列表"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    OpenOverOpener(this);
    BuildControls();
    editor_.Load();
    Redraw();
}

void Form5::BuildControls() {
    const double dpi = LogicalDpiOf(this);
    BuildNameBox();
    BuildEntryList(dpi);
    BuildButtons(dpi);
    LayOut(dpi);
    SetTabOrder();
    setFixedSize(sizeHint());
    BuildAccessKeys(dpi);
    // The entry list takes the first focus, so the name box shows its placeholder until the user enters it.
    list1_->setFocus(Qt::OtherFocusReason);
}

// Label1(0)/(1) hold the caption with a gap in the brackets; Label1(2)/(3) lay the underlined key letter in it.
QLabel* Form5::MakeLabel(int index, int keyIndex, const char* caption, QChar key) {
    auto* letter = new QLabel(QString(key));
    QFont underlined = letter->font();
    underlined.setUnderline(true);
    letter->setFont(underlined);
    const int keyWidth = QFontMetrics(underlined).horizontalAdvance(key);
    auto* label = new GapLabel(QString::fromUtf8(caption), keyWidth + 2, this);
    label->setObjectName(QStringLiteral("Label1_%1").arg(index));
    letter->setParent(label);
    letter->setObjectName(QStringLiteral("Label1_%1").arg(keyIndex));
    const QRect gap = label->GapRect();
    letter->setGeometry(gap.left() + (gap.width() - keyWidth + 1) / 2, 0, keyWidth, label->sizeHint().height());
    letter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label1_[static_cast<std::size_t>(index)] = label;
    label1_[static_cast<std::size_t>(keyIndex)] = letter;
    return label;
}

void Form5::BuildNameBox() {
    combo1_ = new NameBox(this);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setToolTip(QStringLiteral("输入新的列表名，点\"保存\"创建新列表"));
    combo1_->onEntered = [this] { Combo1_GotFocus(); };
    combo1_->onEnter = [this] { Combo1_KeyDown(); };
    connect(combo1_, &QComboBox::activated, this, [this](int index) { Combo1_Click(index); });
    connect(combo1_, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!redrawing_) editor_.SetNameText(text.toStdString());
    });
}

void Form5::BuildEntryList(double dpi) {
    list1_ = new QListWidget(this);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setMinimumWidth(TwipsToPixels(4800, dpi));
    list1_->setMinimumHeight(TwipsToPixels(2700, dpi));
    // The selection, not the current row: entering the list makes its first row current without choosing it.
    connect(list1_, &QListWidget::itemSelectionChanged, this, [this] {
        if (redrawing_) return;
        const QList<QListWidgetItem*> chosen = list1_->selectedItems();
        List1_Click(chosen.isEmpty() ? -1 : list1_->row(chosen.front()));
    });
    connect(list1_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { List1_Click(list1_->row(item)); });
    connect(list1_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { List1_DblClick(list1_->row(item)); });
}

void Form5::BuildButtons(double dpi) {
    const auto make = [this](QPushButton* button, const QString& name, const char* tip) {
        button->setParent(this);
        button->setObjectName(name);
        button->setToolTip(QString::fromUtf8(tip));
        // No default button: Enter belongs to the name box.
        button->setAutoDefault(false);
        return button;
    };
    command2_[0] = make(new SidewaysButton(QStringLiteral("▼")), QStringLiteral("Command2_0"), "播放");
    command2_[1] = make(new QPushButton(QStringLiteral("保存(&S)")), QStringLiteral("Command2_1"), "保存修改");
    command2_[2] = make(new QPushButton(QStringLiteral("退出(&Q)")), QStringLiteral("Command2_2"), "退出");
    command2_[3] = make(new QPushButton(QStringLiteral("■")), QStringLiteral("Command2_3"), "停止");
    const std::array<std::pair<const char*, const char*>, 5> entryButtons{{
        {"添加(&A)", "添加音乐文件地址到音乐列表"},
        {"上移(&U)", "向上移动一个位置"},
        {"下移(&D)", "向下移动一个位置"},
        {"移除(&M)", "删除一个音乐文件地址从列表中"},
        {"清空(&C)", "删除所有音乐文件地址从列表中"},
    }};
    for (std::size_t i = 0; i < entryButtons.size(); ++i) {
        command1_[i] = make(new QPushButton(QString::fromUtf8(entryButtons[i].first)),
                            QStringLiteral("Command1_%1").arg(i), entryButtons[i].second);
    }
    command3_ = make(new QPushButton(QStringLiteral("删除列表(&K)")), QStringLiteral("Command3"), "删除选定音乐列表");
    for (int i = 0; i < 4; ++i) {
        connect(command2_[static_cast<std::size_t>(i)], &QPushButton::clicked, this, [this, i] { Command2_Click(i); });
    }
    for (int i = 0; i < 5; ++i) {
        connect(command1_[static_cast<std::size_t>(i)], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    }
    connect(command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });

    const int buttonWidth = TwipsToPixels(1100, dpi);
    for (QPushButton* button : command1_) button->setFixedWidth(buttonWidth);
    for (QPushButton* button : {command2_[1], command2_[2]}) button->setFixedWidth(buttonWidth);
    command3_->setMinimumWidth(buttonWidth);
    // Play and stop share the width of the button column, beside the name box.
    const int halfWidth = (buttonWidth - TwipsToPixels(90, dpi)) / 2;
    for (QPushButton* button : {command2_[0], command2_[3]}) {
        button->setFixedSize(halfWidth, combo1_->sizeHint().height());
    }
}

void Form5::LayOut(double dpi) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(TwipsToPixels(180, dpi), TwipsToPixels(120, dpi), TwipsToPixels(180, dpi),
                             TwipsToPixels(180, dpi));
    grid->setHorizontalSpacing(TwipsToPixels(120, dpi));
    grid->setVerticalSpacing(TwipsToPixels(60, dpi));
    // The name box with play and stop beside it.
    grid->addWidget(MakeLabel(0, 2, "列表名( )", QLatin1Char('L')), 0, 0);
    grid->addWidget(combo1_, 1, 0);
    auto* playStop = new QHBoxLayout;
    playStop->setSpacing(TwipsToPixels(90, dpi));
    playStop->addWidget(command2_[0]);
    playStop->addWidget(command2_[3]);
    grid->addLayout(playStop, 1, 1);
    // The entry list with its buttons in a column.
    grid->addWidget(MakeLabel(1, 3, "音乐文件( )", QLatin1Char('F')), 2, 0);
    grid->addWidget(list1_, 3, 0);
    auto* entryColumn = new QVBoxLayout;
    entryColumn->setSpacing(TwipsToPixels(90, dpi));
    for (QPushButton* button : command1_) entryColumn->addWidget(button);
    entryColumn->addStretch(1);
    grid->addLayout(entryColumn, 3, 1);
    // Delete at the left, save and quit at the right.
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, TwipsToPixels(120, dpi), 0, 0);
    bottom->setSpacing(TwipsToPixels(120, dpi));
    bottom->addWidget(command3_);
    bottom->addStretch(1);
    bottom->addWidget(command2_[1]);
    bottom->addWidget(command2_[2]);
    grid->addLayout(bottom, 4, 0, 1, 2);
    grid->setColumnStretch(0, 1);
}

void Form5::SetTabOrder() {
    setTabOrder(combo1_, command2_[0]);
    setTabOrder(command2_[0], command2_[3]);
    setTabOrder(command2_[3], list1_);
    setTabOrder(list1_, command1_[0]);
    for (std::size_t i = 1; i < command1_.size(); ++i) setTabOrder(command1_[i - 1], command1_[i]);
    setTabOrder(command1_[4], command3_);
    setTabOrder(command3_, command2_[1]);
    setTabOrder(command2_[1], command2_[2]);
}

// Beyond the right edge: never seen, but their access keys work.
void Form5::BuildAccessKeys(double dpi) {
    const std::array<const char*, 2> keyCaptions{"&L", "&F"};
    for (int i = 0; i < 2; ++i) {
        auto* button = new QPushButton(QString::fromLatin1(keyCaptions[static_cast<std::size_t>(i)]), this);
        button->setObjectName(QStringLiteral("Command4_%1").arg(i));
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoDefault(false);
        button->setGeometry(width() + TwipsToPixels(300, dpi), 0, TwipsToPixels(1100, dpi) / 2,
                            combo1_->sizeHint().height());
        connect(button, &QPushButton::clicked, this, [this, i] { Command4_Click(i); });
        command4_[static_cast<std::size_t>(i)] = button;
    }
}

template <typename Command>
void Form5::Run(Command command) {
    editor_.SetNameText(combo1_->currentText().toStdString());
    command();
    Redraw();
}

void Form5::Command1_Click(int index) {
    switch (index) {
        case 0:
            Run([this] { editor_.Add(); });
            break;
        case 1:
            Run([this] { editor_.MoveUp(); });
            break;
        case 2:
            Run([this] { editor_.MoveDown(); });
            break;
        case 3:
            Run([this] { editor_.Remove(); });
            break;
        case 4:
            Run([this] { editor_.Clear(); });
            break;
        default:
            break;
    }
}

void Form5::Command2_Click(int index) {
    switch (index) {
        case 0:
            Run([this] { editor_.Play(); });
            break;
        case 1:
            Run([this] { editor_.Save(); });
            break;
        case 2:
            reject();
            break;
        case 3:
            Run([this] { editor_.Stop(); });
            break;
        default:
            break;
    }
}

void Form5::Command3_Click() {
    Run([this] { editor_.Delete(); });
}

void Form5::Command4_Click(int index) {
    if (index == 0) {
        combo1_->setFocus(Qt::ShortcutFocusReason);
    } else {
        list1_->setFocus(Qt::ShortcutFocusReason);
    }
}

void Form5::Combo1_GotFocus() {
    editor_.SetNameText(combo1_->currentText().toStdString());
    editor_.NameBoxFocused();
    RedrawNameText();
}

void Form5::Combo1_KeyDown() {
    Run([this] { editor_.NameBoxEnter(); });
}

void Form5::Combo1_Click(int index) {
    if (index < 0 || index >= combo1_->count()) return;
    const std::string name = combo1_->itemText(index).toStdString();
    editor_.ChooseName(name);
    Redraw();
}

void Form5::List1_Click(int row) {
    editor_.SelectRow(row);
    list1_->setToolTip(Q(editor_.SelectedText()));
}

void Form5::List1_DblClick(int row) {
    editor_.SelectRow(row);
    Run([this] { editor_.Remove(); });
}

void Form5::Redraw() {
    redrawing_ = true;
    QStringList names;
    for (const std::string& name : editor_.names()) names << Q(name);
    QStringList shown;
    for (int i = 0; i < combo1_->count(); ++i) shown << combo1_->itemText(i);
    if (shown != names) {
        combo1_->clear();
        combo1_->addItems(names);
    }
    QStringList rows;
    for (const std::string& entry : editor_.entries()) rows << Q(entry);
    QStringList listed;
    for (int i = 0; i < list1_->count(); ++i) listed << list1_->item(i)->text();
    if (listed != rows) {
        list1_->clear();
        list1_->addItems(rows);
    }
    const int selected = editor_.selectedRow();
    list1_->setCurrentRow(selected, selected >= 0 ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Clear);
    if (selected < 0) list1_->clearSelection();
    list1_->setToolTip(Q(editor_.SelectedText()));
    redrawing_ = false;
    RedrawNameText();
    if (editor_.TakeFocusNameBoxRequest()) combo1_->setFocus(Qt::OtherFocusReason);
}

void Form5::RedrawNameText() {
    const QString text = Q(editor_.nameText());
    if (combo1_->currentText() == text) return;
    redrawing_ = true;
    combo1_->setEditText(text);
    redrawing_ = false;
}

}  // namespace lingchao
