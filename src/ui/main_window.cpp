#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <cmath>

#include "base/log.h"
#include "base/text.h"
#include "store/gbk.h"
#include "ui/job_editor.h"
#include "ui/twips.h"

namespace lingchao {
namespace {

constexpr int kClientWidth = 6924;  // twips
constexpr int kClientHeight = 4080;
constexpr int kListLeft = 360, kListTop = 600, kListWidth = 6180, kListHeight = 2856;
constexpr int kRowsPerListHeight = 13;
constexpr int kRowMargin = 30;  // twips kept clear above the end of the last row
// One text column under the header buttons: the date header starts 8 columns, the name header 29 columns in.
constexpr int kColumnTwips = 105;

const char* const kPauseAllCaption = "全部暂停(&A)";
const char* const kStartAllCaption = "全部开始(&A)";
const char* const kMonoFamily = "WenQuanYi Micro Hei Mono";
const char* const kUiFamily = "WenQuanYi Micro Hei";

// Draws each row on a grid of columns, a character GBK stores in two bytes taking two: the layout a
// double-byte system font gives, whatever the metrics of the font at hand.
class JobRowDelegate final : public QStyledItemDelegate {
public:
    JobRowDelegate(QFont font, int columnPx, int rowPx, QObject* parent)
        : QStyledItemDelegate(parent), font_(std::move(font)), columnPx_(columnPx), rowPx_(rowPx) {}

    static int Columns(char32_t c) {
        if (c < 0x80) return 1;
        const QString s = QString::fromUcs4(&c, 1);
        return GbkByteLength(s.toStdString()) >= 2 ? 2 : 1;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        painter->save();
        painter->setFont(font_);
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        int column = 0;
        for (const char32_t c : text.toUcs4()) {
            const int span = Columns(c);
            if (c != U' ') {
                const QRect cell(opt.rect.left() + 1 + column * columnPx_, opt.rect.top(), span * columnPx_,
                                 opt.rect.height());
                painter->drawText(cell, Qt::AlignCenter, QString::fromUcs4(&c, 1));
            }
            column += span;
            if (opt.rect.left() + column * columnPx_ > opt.rect.right()) break;
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {columnPx_, rowPx_}; }

private:
    QFont font_;
    int columnPx_;
    int rowPx_;
};

// Each line cut with "…" to the label's width rather than clipped mid-character; the tooltip has them whole.
class ElidingLabel final : public QLabel {
public:
    using QLabel::QLabel;
    void SetFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        Elide();
    }
    const QString& fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() {
        const int room = contentsRect().width();
        QStringList lines = full_.split(QChar(u'\n'));
        for (QString& line : lines) line = fontMetrics().elidedText(line, Qt::ElideRight, room);
        setText(lines.join(QChar(u'\n')));
    }

    QString full_;
};

// The group named by today's plan ("今天（周一）：任务组《期中考试》，3 个铃声…"); empty on an ordinary day
// and when the group cannot be used (the line then ends "，不响铃").
QString TodaysGroup(const QString& plan) {
    const QString today = plan.section(QChar(u'\n'), 0, 0);
    const QString open = QStringLiteral("任务组《");
    const qsizetype start = today.indexOf(open);
    if (!today.startsWith(QStringLiteral("今天")) || start < 0 || today.endsWith(QStringLiteral("不响铃"))) return {};
    const qsizetype end = today.indexOf(QStringLiteral("》，"), start);
    return end < 0 ? QString() : today.mid(start + open.size(), end - start - open.size());
}

}  // namespace

Form4::Form4(Services services, QWidget* parent)
    : QMainWindow(parent),
      s_(std::move(services)),
      jobs_({s_.jilu, *this, s_.dialogs, *this, s_.player, s_.pickJobMusic}),
      groups_(s_.jilu, s_.dialogs) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("铃潮V4.0"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    dpi_ = LogicalDpiOf(this);
    QFont uiFont(QString::fromLatin1(kUiFamily));
    uiFont.setPixelSize(TwipsToPixels(180, dpi_));  // 9 points
    setFont(uiFont);
    BuildControls();
    BuildMenus();
    centralWidget()->setFixedSize(TwipsToPixels(kClientWidth, dpi_), TwipsToPixels(kClientHeight, dpi_));
    setFixedSize(centralWidget()->width(), centralWidget()->height() + menuBar()->sizeHint().height());
    s_.jilu.SetList(this);
}

Form4::~Form4() { s_.jilu.SetList(nullptr); }

void Form4::BuildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    const auto place = [this](QWidget* w, int l, int t, int wd, int h) {
        w->setGeometry(TwipsRect(l, t, wd, h, dpi_));
    };

    // The title and its "L" are set in the same fixed-pitch face so the L falls between the brackets.
    QFont labelFont(QString::fromLatin1(kMonoFamily));
    labelFont.setPixelSize(TwipsToPixels(180, dpi_));
    const int labelHeight = std::max(TwipsToPixels(180, dpi_), QFontMetrics(labelFont).height());
    auto* title = new QLabel(QStringLiteral("任务列表( )"), client);
    title->setObjectName(QStringLiteral("Label1_0"));
    title->setFont(labelFont);
    place(title, 360, 120, 1008, 180);
    title->resize(title->width(), labelHeight);
    QFont underlined = labelFont;
    underlined.setUnderline(true);
    auto* letter = new QLabel(QStringLiteral("L"), client);
    letter->setObjectName(QStringLiteral("Label1_1"));
    letter->setFont(underlined);
    const int bracketOffset = QFontMetrics(labelFont).horizontalAdvance(QStringLiteral("任务列表("));
    letter->setGeometry(title->x() + bracketOffset, title->y(),
                        std::max(TwipsToPixels(96, dpi_), QFontMetrics(underlined).horizontalAdvance(QChar(u'L'))),
                        labelHeight);

    // Right of the title, above the list: on a 任务组 day the list below is not what rings.
    todayGroup_ = new QLabel(client);
    todayGroup_->setObjectName(QStringLiteral("todayGroup"));
    todayGroup_->setStyleSheet(QStringLiteral("color: #1f4f9a"));
    todayGroup_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(todayGroup_, 1500, 80, 5040, 260);
    todayGroup_->hide();

    auto* command3 = new QPushButton(QStringLiteral("&L"), client);
    command3->setObjectName(QStringLiteral("Command3"));
    place(command3, -2880, 120, 492, 252);
    connect(command3, &QPushButton::clicked, this, [this] { list1_->setFocus(Qt::ShortcutFocusReason); });

    const std::array<const char*, 4> headers{"状态", "日期", "时间", "名  称"};
    const std::array<std::array<int, 4>, 4> headerRects{
        {{360, 360, 852, 252}, {1200, 360, 1332, 252}, {2520, 360, 972, 252}, {3480, 360, 3060, 252}}};
    for (std::size_t i = 0; i < headers.size(); ++i) {
        auto* header = new QPushButton(QString::fromUtf8(headers[i]), client);
        header->setObjectName(QStringLiteral("Command2_%1").arg(i));
        header->setFocusPolicy(Qt::NoFocus);
        const auto& r = headerRects[i];
        place(header, r[0], r[1], r[2], r[3]);
    }

    list1_ = new QListWidget(client);
    list1_->setObjectName(QStringLiteral("List1"));
    place(list1_, kListLeft, kListTop, kListWidth, kListHeight);
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list1_->setUniformItemSizes(true);
    const int columnPx = TwipsToPixels(kColumnTwips, dpi_);
    const int rowPx = TwipsToPixels(kListHeight, dpi_) / kRowsPerListHeight;
    QFont rowFont(QString::fromLatin1(kMonoFamily));
    rowFont.setPixelSize(std::max(8, std::min(2 * columnPx - 1, rowPx - 1)));
    list1_->setFont(rowFont);
    list1_->setItemDelegate(new JobRowDelegate(rowFont, columnPx, rowPx, list1_));
    list1_->viewport()->installEventFilter(this);

    const std::array<const char*, 6> captions{kPauseAllCaption, "新建(&N)", "编辑(&E)",
                                              "移除(&M)",       "上移(&U)", "下移(&D)"};
    const std::array<int, 6> lefts{360, 1920, 2856, 3792, 4740, 5685};
    for (std::size_t i = 0; i < captions.size(); ++i) {
        auto* button = new QPushButton(QString::fromUtf8(captions[i]), client);
        button->setObjectName(QStringLiteral("Command1_%1").arg(i));
        place(button, lefts[i], 3600, i == 0 ? 1212 : 852, 348);
        connect(button, &QPushButton::clicked, this, [this, i] { Command1_Click(static_cast<int>(i)); });
        command1_[i] = button;
    }
}

void Form4::BuildMenus() {
    const auto item = [this](QMenu* menu, const char* name, const char* caption, std::function<void()> run) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
        return action;
    };
    const auto menuOf = [this](const char* name, const char* caption) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(caption));
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };

    QMenu* file = menuOf("file", "文件(&F)");
    item(file, "open", "打开(&O)", [this] { groups_.OpenGroup(); });
    item(file, "save", "保存(&S)", [this] { groups_.SaveGroup(); });
    file->addSeparator();
    item(file, "tidy", "整理音乐路径…", [this] { Call(hooks_.tidy); });
    item(file, "importold", "导入旧电脑的文件…", [this] { Call(hooks_.importOld); });
    file->addSeparator();
    item(file, "quit", "退出(&Q)", [this] { Call(hooks_.quit); });

    QMenu* job = menuOf("job", "任务(&J)");
    item(job, "runjob", "执行任务(&R)", [this] { runjob_Click(); });
    job->addSeparator();
    item(job, "newjob", "新建任务(&N)", [this] { Command1_Click(1); });
    item(job, "editjob", "编辑任务(&E)", [this] { Command1_Click(2); });
    item(job, "deletejob", "移除任务(&M)", [this] { Command1_Click(3); });
    item(job, "clearjob", "清空任务(&C)", [this] { clearjob_Click(); });
    job->addSeparator();
    item(job, "up", "上移(&U)", [this] { Command1_Click(4); });
    item(job, "down", "下移(&D)", [this] { Command1_Click(5); });
    job->addSeparator();
    item(job, "playjob", "开始(&S)", [this] { playjob_Click(); });
    item(job, "pausejob", "暂停(&P)", [this] { pausejob_Click(); });
    item(job, "playall", "全部开始", [this] { playall_Click(); });
    item(job, "pauseall", "全部暂停", [this] { pauseall_Click(); });
    job->addSeparator();
    item(job, "shuttime", "定时关机(&S)", [this] { Call(hooks_.shuttime); });

    QMenu* music = menuOf("music", "播放器(&P)");
    item(music, "wmp", "音乐列表(&L)", [this] { Call(hooks_.wmp); });
    music->addSeparator();
    item(music, "play", "播放", [this] {
        Call(playerCommands_.play);
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    item(music, "pause", "暂停", [this] {
        Call(playerCommands_.pause);
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    item(music, "stop", "停止", [this] {
        Call(playerCommands_.stop);
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));

    QMenu* help = menuOf("help", "帮助(&H)");
    item(help, "about", "关于(&A)", [this] { Call(hooks_.about); });

    rightm_ = new QMenu(this);
    rightm_->setObjectName(QStringLiteral("rightm"));
    item(rightm_, "runjobr", "执行任务(&R)", [this] { runjob_Click(); });
    rightm_->addSeparator();
    item(rightm_, "editjobr", "编辑任务(&E)", [this] { Command1_Click(2); });
    item(rightm_, "deletejobr", "移除任务(&M)", [this] { Command1_Click(3); });
    item(rightm_, "clearjobr", "清空任务(&C)", [this] { clearjob_Click(); });
}

void Form4::ShowPlanLine(const std::string& text) {
    if (planLine_ == nullptr) {
        // Below the designed client area, as the menu bar is above it.
        planLine_ = new ElidingLabel(this);
        planLine_->setObjectName(QStringLiteral("planLine"));
        planLine_->setContentsMargins(TwipsToPixels(kListLeft, dpi_) - 3, 0, 0, 0);
        statusBar()->addWidget(planLine_, 1);
        statusBar()->setSizeGripEnabled(false);
        // Made after the window may have been shown: a child made then stays hidden unless shown.
        statusBar()->show();
        planLine_->show();
        // Two lines (today, tomorrow) with room above and below, whatever the status bar's own hint says.
        const int planHeight = planLine_->fontMetrics().lineSpacing() * 2 + 8;
        statusBar()->setFixedHeight(planHeight);
        FitToClient();
    }
    auto* line = static_cast<ElidingLabel*>(planLine_);
    const QString full = QString::fromStdString(text);
    if (line->fullText() != full) {
        LogLine("main window: plan line: " + QString(full).replace(QChar(u'\n'), QStringLiteral(" | ")).toStdString());
    }
    line->SetFullText(full);
    const QString group = TodaysGroup(QString::fromStdString(text));
    const QString said = QStringLiteral("今天响的是任务组《%1》，不是这张表").arg(group);
    todayGroup_->setText(todayGroup_->fontMetrics().elidedText(said, Qt::ElideMiddle, todayGroup_->width()));
    todayGroup_->setToolTip(
        group.isEmpty() ? QString() : said + QStringLiteral("：这张表是平日的铃声，哪天响哪个任务组在“校历”中指定。"));
    todayGroup_->setVisible(!group.isEmpty());
}

void Form4::SetReadOnly(const QString& why) {
    readOnly_ = why;
    // Running a job only plays it, and saving a group only copies the timetable: those stay. Tidying the music
    // paths, the import and a restore all rewrite it.
    for (const char* name :
         {"open", "newjob", "editjob", "deletejob", "clearjob", "up", "down", "playjob", "pausejob", "playall",
          "pauseall", "editjobr", "deletejobr", "clearjobr", "tidy", "importold", "restore"}) {
        if (auto* action = findChild<QAction*>(QString::fromLatin1(name))) action->setEnabled(!ReadOnly());
    }
    for (QPushButton* button : command1_) button->setEnabled(!ReadOnly());
    if (readOnlyLine_ == nullptr) {
        // Below the buttons, in a strip the client area grows by while the line shows.
        auto* line = new ElidingLabel(centralWidget());
        line->setObjectName(QStringLiteral("readOnlyLine"));
        line->setStyleSheet(QStringLiteral("color: #b71c1c"));
        line->setGeometry(TwipsToPixels(kListLeft, dpi_), TwipsToPixels(kClientHeight, dpi_),
                          TwipsToPixels(kListWidth, dpi_), line->fontMetrics().lineSpacing() + 6);
        readOnlyLine_ = line;
    }
    static_cast<ElidingLabel*>(readOnlyLine_)->SetFullText(why);
    readOnlyLine_->setVisible(ReadOnly());
    const int strip = ReadOnly() ? readOnlyLine_->height() + TwipsToPixels(60, dpi_) : 0;
    centralWidget()->setFixedSize(TwipsToPixels(kClientWidth, dpi_), TwipsToPixels(kClientHeight, dpi_) + strip);
    FitToClient();
    if (ReadOnly()) LogLine("main window: read-only: " + why.toStdString());
}

void Form4::FitToClient() {
    const int plan = planLine_ != nullptr ? statusBar()->minimumHeight() : 0;
    setFixedSize(centralWidget()->width(), centralWidget()->height() + menuBar()->sizeHint().height() + plan);
}

void Form4::Clear() { list1_->clear(); }

void Form4::AddRow(const std::string& text) {
    auto* row = new QListWidgetItem(QString::fromStdString(text), list1_);
    // The list cuts long names at its edge; the tooltip shows the whole row.
    row->setToolTip(QString::fromStdString(std::string(TrimRight(text))));
}

int Form4::RowCount() const { return list1_->count(); }

int Form4::SelectedRow() const {
    const QList<QListWidgetItem*> selected = list1_->selectedItems();
    return selected.isEmpty() ? -1 : list1_->row(selected.front());
}

void Form4::SelectRow(int row) {
    if (row < 0 || row >= list1_->count()) return;
    list1_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

std::string Form4::RowText(int row) const {
    const QListWidgetItem* item = list1_->item(row);
    return item != nullptr ? item->text().toStdString() : std::string();
}

void Form4::ShowModal(const std::string& caption, const JobEditorFields& fields) {
    if (editorOverride_ != nullptr) {
        editorOverride_->ShowModal(caption, fields);
        return;
    }
    Form6 editor({s_.jilu, s_.dialogs, s_.jilu.AppFolder()}, this);
    editor.setWindowTitle(QString::fromStdString(caption));
    editor.SetFields(fields);
    editor.exec();
}

void Form4::Command1_Click(int index) {
    if (ReadOnly()) return;
    switch (index) {
        case 0:
            if (command1_[0]->text() == QString::fromUtf8(kStartAllCaption)) {
                playall_Click();
            } else {
                pauseall_Click();
            }
            break;
        case 1:
            jobs_.NewJob();
            break;
        case 2:
            jobs_.EditJob();
            break;
        case 3:
            RemoveWithReselection();
            break;
        case 4:
            jobs_.MoveJobUp();
            break;
        case 5:
            jobs_.MoveJobDown();
            break;
        default:
            break;
    }
}

void Form4::playall_Click() {
    if (ReadOnly()) return;
    if (jobs_.PlayAll()) command1_[0]->setText(QString::fromUtf8(kPauseAllCaption));
}

void Form4::pauseall_Click() {
    if (ReadOnly()) return;
    if (jobs_.PauseAll()) command1_[0]->setText(QString::fromUtf8(kStartAllCaption));
}

void Form4::playjob_Click() {
    if (!ReadOnly()) jobs_.PlayJob();
}
void Form4::pausejob_Click() {
    if (!ReadOnly()) jobs_.PauseJob();
}
void Form4::runjob_Click() { jobs_.RunSelectedJob(); }
void Form4::clearjob_Click() {
    if (!ReadOnly()) jobs_.ClearJobs();
}

void Form4::RemoveWithReselection() {
    const int s = SelectedRow();
    const int c = RowCount();
    jobs_.RemoveJob();
    // Applied whether or not the removal was confirmed.
    if (c > 1 && s != -1) SelectRow(s + 1 != c ? s : s - 1);
}

void Form4::List1_DblClick() {
    const int r = SelectedRow();
    if (r == -1) return;
    const std::string text = RowText(r);
    if (!text.empty() && text.front() == 'S') {
        pausejob_Click();
    } else {
        playjob_Click();
    }
}

bool Form4::OverFilledRows(const QPoint& pos) const {
    // In twips within the list: 13 rows per list height, the last 30 twips of the rows left out.
    const double twipsPerPixel = 15.0 * 96.0 / dpi_;
    const double heightTwips = list1_->height() * twipsPerPixel;
    const double yTwips = pos.y() * twipsPerPixel;
    return heightTwips / kRowsPerListHeight * RowCount() - kRowMargin > yTwips && list1_->itemAt(pos) != nullptr;
}

bool Form4::List1_MouseDown(const QPoint& pos) {
    if (!OverFilledRows(pos)) return false;
    SelectRow(list1_->row(list1_->itemAt(pos)));
    return true;
}

bool Form4::List1_MouseUp(const QPoint& pos, const QPoint& globalPos) {
    if (!OverFilledRows(pos)) return false;
    rightm_->popup(globalPos);
    return true;
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list1_->viewport()) return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint pos = mouse->position().toPoint();
            if (mouse->button() == Qt::RightButton) {
                if (event->type() == QEvent::MouseButtonPress) {
                    List1_MouseDown(pos);
                } else {
                    List1_MouseUp(pos, mouse->globalPosition().toPoint());
                }
                return true;
            }
            // A click below the rows keeps the selection, as the commands expect.
            if (list1_->itemAt(pos) == nullptr) {
                list1_->setFocus(Qt::MouseFocusReason);
                return true;
            }
            break;
        }
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                List1_DblClick();
                return true;
            }
            return mouse->button() == Qt::RightButton;
        }
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form4::closeEvent(QCloseEvent* event) {
    // The scheduler lives on without the window; the next show starts from the designed state.
    event->ignore();
    hide();
    command1_[0]->setText(QString::fromUtf8(kPauseAllCaption));
}

void Form4::CentreOnScreen() {
    const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void Form4::ShowMainWindow() {
    if (isVisible()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        showNormal();
        raise();
        activateWindow();
        return;
    }
    setWindowTitle(QStringLiteral("铃潮V4.0"));
    s_.jilu.LoadJobTable(kDefaultGroup);
    CentreOnScreen();
    show();
    raise();
    activateWindow();
}

void ShowMainWindow(Form4* form) {
    if (form != nullptr) form->ShowMainWindow();
}

}  // namespace lingchao
