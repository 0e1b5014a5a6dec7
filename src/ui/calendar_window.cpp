#include "ui/calendar_window.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextCharFormat>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <string_view>
#include <thread>

#include "base/log.h"
#include "base/text.h"
#include "platform/ical_import.h"
#include "scheduler/day_plan.h"
#include "ui/job_editor.h"
#include "ui/window_placement.h"

namespace lingchao {
namespace {

const char* const kIcsFilter = "iCalendar 日历(*.ics)|*.ics|所有文件(*.*)|*.*|";
const char* const kNoGroupYet = "先在主窗口用“文件 → 保存(S)”把任务表存成任务组（存入 job 文件夹），再在这里选择它。";

struct KindChoice {
    CalendarKind kind;
    const char* caption;
};
// The kinds a user adds by hand; the today-only ones come from the menus.
constexpr KindChoice kChoices[] = {{CalendarKind::Holiday, "放假"},
                                   {CalendarKind::RestWeekdays, "休息日（每周）"},
                                   {CalendarKind::SchoolDay, "调休上课"},
                                   {CalendarKind::Group, "任务组"}};

QString Q(const std::string& s) { return QString::fromStdString(s); }

QDate ToQDate(const CalendarDate& d) { return {d.year, d.month, d.day}; }
CalendarDate FromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

std::string KindCaption(CalendarKind kind) {
    switch (kind) {
        case CalendarKind::Holiday:
            return "放假";
        case CalendarKind::RestWeekdays:
            return "休息日";
        case CalendarKind::SchoolDay:
            return "调休上课";
        case CalendarKind::Group:
            return "任务组";
        case CalendarKind::TodaySilent:
            return "今天不响铃";
        case CalendarKind::TodaySkip:
            return "跳过铃声";
        case CalendarKind::TodayShift:
            return "今日推迟";
    }
    return {};
}

std::string ArgumentCaption(const CalendarEntry& e) {
    switch (e.kind) {
        case CalendarKind::RestWeekdays: {
            std::string out;
            for (int d : ParseWeekdays(e.argument).value_or(std::vector<int>{}))
                out += (out.empty() ? "" : " ") + WeekdayName(d);
            return out;
        }
        case CalendarKind::SchoolDay:
            return e.argument.empty() ? "" : "用" + WeekdayName(e.argument[0] - '0') + "的铃声";
        case CalendarKind::TodayShift:
            return e.argument.substr(0, e.argument.find(' ')) + " 分钟";
        default:
            return e.argument;
    }
}

std::vector<std::string> GroupFiles(const std::filesystem::path& jobFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(jobFolder, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Tell(Dialogs& dialogs, const std::string& text) {
    dialogs.Message({text, "提示", MessageIcon::Information, MessageButtons::Ok, 0});
}

// A big file takes libical a second or so: it is read on a thread of its own while the window, behind a busy
// box, keeps painting (clicks wait until it is done).
IcsImport ReadIcsAside(const std::string& path, const CalendarDate& today, QWidget* parent) {
    IcsImport read;
    QEventLoop loop;
    std::thread reader([&] {
        read = ReadIcsFile(path, today);
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    QProgressDialog busy(QStringLiteral("正在读取日历文件…"), QString(), 0, 0, parent);
    busy.setObjectName(QStringLiteral("readingIcs"));
    busy.setWindowTitle(QStringLiteral("导入 iCalendar 日历"));
    busy.setWindowModality(Qt::WindowModal);
    busy.setCancelButton(nullptr);
    busy.setMinimumDuration(300);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    reader.join();
    return read;
}

// Changed here, the main's next calendar would undo it without a word: told instead, before anything is asked.
bool HeldElsewhere(const CalendarServices& s) {
    const std::string why = s.readOnly ? s.readOnly() : "";
    if (why.empty()) return false;
    LogLine("calendar: not changed here: " + why);
    Tell(s.dialogs, why);
    return true;
}

}  // namespace

bool SaveCalendar(const CalendarServices& s, const CalendarEdit& edit) {
    if (HeldElsewhere(s)) return false;
    const auto file = s.appFolder / kCalendarFile;
    std::string failure;
    const CalendarWrite written = ChangeCalendar(file, s.clock.Now().date, edit, &failure);
    if (written == CalendarWrite::Failed) {
        LogLine("cannot save the calendar " + file.string() + ": " + failure);
        Tell(s.dialogs, "无法保存校历：" + file.string() + (failure.empty() ? "" : "（" + failure + "）"));
    }
    if (written != CalendarWrite::Written) return false;
    if (s.changed) s.changed();
    return true;
}

// ---- the entry dialog ----

CalendarEntryDialog::CalendarEntryDialog(Dialogs& dialogs, const std::filesystem::path& jobFolder, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("calendarEntry"));
    setWindowModality(Qt::WindowModal);  // over the calendar and the main window, never the clock
    auto* form = new QFormLayout;
    firstDate_ = new QLineEdit(this);
    firstDate_->setObjectName(QStringLiteral("firstDate"));
    lastDate_ = new QLineEdit(this);
    lastDate_->setObjectName(QStringLiteral("lastDate"));
    for (QLineEdit* box : {firstDate_, lastDate_}) {
        box->setMaxLength(10);
        box->setPlaceholderText(QStringLiteral("20261001"));
        AutoDateDashes(box);
    }
    lastDate_->setToolTip(QStringLiteral("不填则与开始日期相同"));
    form->addRow(QStringLiteral("开始日期："), firstDate_);
    form->addRow(QStringLiteral("结束日期："), lastDate_);

    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("kind"));
    for (const auto& c : kChoices) kind_->addItem(QString::fromUtf8(c.caption));
    form->addRow(QStringLiteral("类型："), kind_);

    auto* ticks = new QWidget(this);
    auto* tickRow = new QHBoxLayout(ticks);
    tickRow->setContentsMargins(0, 0, 0, 0);
    for (int d = 1; d <= 7; ++d) {
        auto* box = new QCheckBox(Q(WeekdayName(d)), ticks);
        box->setObjectName(QStringLiteral("weekday_%1").arg(d));
        tickRow->addWidget(box);
        weekdays_[static_cast<std::size_t>(d - 1)] = box;
    }
    form->addRow(QStringLiteral("休息的星期："), ticks);

    songWeekday_ = new QComboBox(this);
    songWeekday_->setObjectName(QStringLiteral("songWeekday"));
    songWeekday_->addItem(QStringLiteral("本日的铃声"));
    for (int d = 1; d <= 7; ++d) songWeekday_->addItem(Q("用" + WeekdayName(d) + "的铃声"));
    form->addRow(QStringLiteral("每日一曲："), songWeekday_);

    group_ = new QComboBox(this);
    group_->setObjectName(QStringLiteral("group"));
    for (const auto& name : GroupFiles(jobFolder)) group_->addItem(Q(name));
    form->addRow(QStringLiteral("任务组："), group_);
    noGroup_ = new QLabel(QString::fromUtf8(kNoGroupYet), this);
    noGroup_->setObjectName(QStringLiteral("noGroup"));
    noGroup_->setWordWrap(true);
    noGroup_->setStyleSheet(QStringLiteral("color: #805000"));
    form->addRow(QString(), noGroup_);

    note_ = new QLineEdit(this);
    note_->setObjectName(QStringLiteral("note"));
    form->addRow(QStringLiteral("备注："), note_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定(&O)"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("取消(&C)"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancel"));
    connect(ok, &QPushButton::clicked, this, &CalendarEntryDialog::OkClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(kind_, &QComboBox::currentIndexChanged, this, &CalendarEntryDialog::KindChanged);
    KindChanged();
}

void CalendarEntryDialog::KindChanged() {
    const CalendarKind kind = kChoices[std::max(0, kind_->currentIndex())].kind;
    for (QCheckBox* box : weekdays_) box->setEnabled(kind == CalendarKind::RestWeekdays);
    songWeekday_->setEnabled(kind == CalendarKind::SchoolDay);
    group_->setEnabled(kind == CalendarKind::Group);
    noGroup_->setVisible(kind == CalendarKind::Group && group_->count() == 0);
}

void CalendarEntryDialog::SetEntry(const CalendarEntry& e) {
    entry_ = e;
    firstDate_->setText(Q(DateText(e.first)));
    lastDate_->setText(Q(DateText(e.last)));
    for (int i = 0; i < static_cast<int>(std::size(kChoices)); ++i) {
        if (kChoices[i].kind == e.kind) kind_->setCurrentIndex(i);
    }
    const auto days = e.kind == CalendarKind::RestWeekdays ? ParseWeekdays(e.argument) : std::nullopt;
    for (int d = 1; d <= 7; ++d) {
        weekdays_[static_cast<std::size_t>(d - 1)]->setChecked(days && std::count(days->begin(), days->end(), d) > 0);
    }
    songWeekday_->setCurrentIndex(e.kind == CalendarKind::SchoolDay && !e.argument.empty() ? e.argument[0] - '0' : 0);
    if (e.kind == CalendarKind::Group) {
        if (group_->findText(Q(e.argument)) < 0) group_->addItem(Q(e.argument));
        group_->setCurrentIndex(group_->findText(Q(e.argument)));
    }
    KindChanged();
    note_->setText(Q(e.note));
}

void CalendarEntryDialog::OkClick() {
    const std::string firstText = firstDate_->text().trimmed().toStdString();
    std::string lastText = lastDate_->text().trimmed().toStdString();
    if (lastText.empty()) lastText = firstText;
    const auto first = ParseDate(firstText);
    const auto last = ParseDate(lastText);
    if (!first || !last || firstText.size() != 10 || lastText.size() != 10) {
        Tell(dialogs_, "日期格式错误！");
        (first && firstText.size() == 10 ? lastDate_ : firstDate_)->setFocus();
        return;
    }
    if (DaysFromCivil(*last) < DaysFromCivil(*first)) {
        Tell(dialogs_, "结束日期早于开始日期！");
        lastDate_->setFocus();
        return;
    }
    CalendarEntry e;
    e.first = *first;
    e.last = *last;
    e.kind = kChoices[std::max(0, kind_->currentIndex())].kind;
    e.note = note_->text().trimmed().toStdString();
    if (e.kind == CalendarKind::RestWeekdays) {
        for (int d = 1; d <= 7; ++d) {
            if (weekdays_[static_cast<std::size_t>(d - 1)]->isChecked())
                e.argument += (e.argument.empty() ? "" : " ") + std::to_string(d);
        }
        if (e.argument.empty()) {
            Tell(dialogs_, "请勾选休息的星期！");
            return;
        }
    } else if (e.kind == CalendarKind::SchoolDay) {
        if (songWeekday_->currentIndex() > 0) e.argument = std::to_string(songWeekday_->currentIndex());
    } else if (e.kind == CalendarKind::Group) {
        e.argument = group_->currentText().toStdString();
        if (!IsSafeGroupName(e.argument)) {
            Tell(dialogs_, group_->count() == 0 ? std::string("还没有任务组。") + kNoGroupYet : "请选择任务组！");
            return;
        }
    }
    entry_ = e;
    accept();
}

// ---- the window ----

QString CalendarWindow::DayColour(const DayRule& rule) {
    if (rule.TodayChanged()) return QStringLiteral("#ffd98a");
    switch (rule.kind) {
        case DayKind::Holiday:
            return QStringLiteral("#f6b8b0");
        case DayKind::RestDay:
            return QStringLiteral("#d9d9d9");
        case DayKind::MakeUp:
            return QStringLiteral("#b9e4bc");
        case DayKind::Group:
            return QStringLiteral("#b8d4f4");
        case DayKind::School:
            return {};
    }
    return {};
}

CalendarWindow::CalendarWindow(CalendarServices services, QWidget* parent) : QDialog(parent), s_(std::move(services)) {
    setObjectName(QStringLiteral("calendarWindow"));
    setWindowTitle(QStringLiteral("校历"));
    OpenOverOpener(this);

    monthView_ = new QCalendarWidget(this);
    monthView_->setObjectName(QStringLiteral("monthView"));
    // The month and the weekdays in Chinese, as the rest of the window, whatever the system's language.
    monthView_->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    monthView_->setFirstDayOfWeek(Qt::Monday);
    monthView_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    monthView_->setGridVisible(true);
    monthView_->setSelectedDate(ToQDate(s_.clock.Now().date));
    connect(monthView_, &QCalendarWidget::currentPageChanged, this, &CalendarWindow::ColourMonth);
    connect(monthView_, &QCalendarWidget::selectionChanged, this, &CalendarWindow::ShowDay);

    auto* legend = new QLabel(this);
    legend->setObjectName(QStringLiteral("legend"));
    QString legendText;
    const std::pair<const char*, DayKind> swatches[] = {{"放假", DayKind::Holiday},
                                                        {"休息日", DayKind::RestDay},
                                                        {"调休上课", DayKind::MakeUp},
                                                        {"任务组", DayKind::Group}};
    for (const auto& [word, kind] : swatches) {
        DayRule rule;
        rule.kind = kind;
        legendText += QStringLiteral("<span style='background:%1'>&nbsp;&nbsp;&nbsp;&nbsp;</span> %2&nbsp;&nbsp;")
                          .arg(DayColour(rule), QString::fromUtf8(word));
    }
    legendText += QStringLiteral("<span style='background:#ffd98a'>&nbsp;&nbsp;&nbsp;&nbsp;</span> 今日更改");
    legend->setText(legendText);

    dayPlan_ = new QLabel(this);
    dayPlan_->setObjectName(QStringLiteral("dayPlan"));
    dayPlan_->setWordWrap(true);

    entryList_ = new QTableWidget(0, 5, this);
    entryList_->setObjectName(QStringLiteral("entryList"));
    entryList_->setHorizontalHeaderLabels({QStringLiteral("开始日期"), QStringLiteral("结束日期"),
                                           QStringLiteral("类型"), QStringLiteral("参数"), QStringLiteral("备注")});
    entryList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    entryList_->setSelectionMode(QAbstractItemView::SingleSelection);
    entryList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    entryList_->verticalHeader()->setVisible(false);
    entryList_->horizontalHeader()->setStretchLastSection(true);
    entryList_->setMinimumWidth(460);
    connect(entryList_, &QTableWidget::cellDoubleClicked, this, [this] { EditClick(); });
    connect(entryList_, &QTableWidget::currentCellChanged, this, [this](int row) { ShowMonthOf(row); });

    problemsLabel_ = new QLabel(this);
    problemsLabel_->setObjectName(QStringLiteral("problems"));
    problemsLabel_->setStyleSheet(QStringLiteral("color: #b00000"));
    problemsLabel_->setTextFormat(Qt::PlainText);  // the problems quote the file: "<b>" is not markup
    problemsLabel_->setWordWrap(true);

    const auto button = [this](const char* name, const char* caption, void (CalendarWindow::*handler)()) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button("addEntry", "添加(&A)…", &CalendarWindow::AddClick));
    buttons->addWidget(button("editEntry", "编辑(&E)…", &CalendarWindow::EditClick));
    buttons->addWidget(button("removeEntry", "移除(&M)", &CalendarWindow::RemoveClick));
    buttons->addWidget(button("importIcs", "导入 iCalendar(&I)…", &CalendarWindow::ImportClick));
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    close->setObjectName(QStringLiteral("closeCalendar"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);

    auto* left = new QVBoxLayout;
    left->addWidget(monthView_);
    left->addWidget(legend);
    left->addWidget(dayPlan_);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(entryList_);
    right->addWidget(problemsLabel_);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    resize(940, 380);
    Reload();
}

void CalendarWindow::Reload() {
    CalendarRead read = ReadCalendar(s_.appFolder / kCalendarFile);
    entries_ = std::move(read.entries);
    problems_ = std::move(read.problems);
    present_ = read.present;
    ShowEntries();
}

void CalendarWindow::ShowEntries() {
    const int keep = entryList_->currentRow();
    entryList_->setRowCount(static_cast<int>(entries_.size()));
    for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
        const CalendarEntry& e = entries_[static_cast<std::size_t>(row)];
        // A note of a megabyte would make the column as wide: the cell shows its start.
        const std::array<std::string, 5> cells{DateText(e.first), DateText(e.last), KindCaption(e.kind),
                                               ClipUtf8(ArgumentCaption(e), 100), ClipUtf8(e.note, 100)};
        for (int c = 0; c < 5; ++c)
            entryList_->setItem(row, c, new QTableWidgetItem(Q(cells[static_cast<std::size_t>(c)])));
    }
    // Sized to the entries once; after that the widths the user dragged stay through every save and reload.
    if (!columnsSized_ && !entries_.empty()) {
        entryList_->resizeColumnsToContents();
        columnsSized_ = true;
    }
    const bool wasFollowing = followingDay_;
    followingDay_ = true;
    if (keep >= 0 && keep < entryList_->rowCount()) entryList_->selectRow(keep);
    followingDay_ = wasFollowing;
    problemsLabel_->setText(Q(CalendarProblemsText(problems_)));
    problemsLabel_->setVisible(!problems_.empty());
    ColourMonth(monthView_->yearShown(), monthView_->monthShown());
    ShowDay();
}

void CalendarWindow::ColourMonth(int year, int month) {
    monthView_->setDateTextFormat(QDate(), QTextCharFormat());
    // The page shows up to six weeks around the month.
    const QDate firstShown = QDate(year, month, 1).addDays(-7);
    for (QDate d = firstShown; d < firstShown.addDays(50); d = d.addDays(1)) {
        const QString colour = DayColour(ResolveDay(entries_, FromQDate(d)));
        if (colour.isEmpty()) continue;
        QTextCharFormat format;
        format.setBackground(QColor(colour));
        monthView_->setDateTextFormat(d, format);
    }
}

void CalendarWindow::ShowDay() {
    CalendarRead calendar;
    calendar.present = present_;
    calendar.entries = entries_;
    const PlanOfDay plan = ResolveDayPlan(s_.appFolder, calendar, FromQDate(monthView_->selectedDate()));
    const auto bells = PlanBells(plan);
    std::string text = PlanLine(plan, bells, s_.clock.Now());
    if (const std::string changes = TodayChangesLine(plan, bells); !changes.empty()) text += "\n" + changes;
    dayPlan_->setText(Q(CapLines(text, kShownProblemLines)));  // one line per skipped bell
    // The entry that decides the date is selected in the list; the month shown stays the date's.
    const bool wasFollowing = followingDay_;
    followingDay_ = true;
    for (int row = 0; plan.rule.line > 0 && row < static_cast<int>(entries_.size()); ++row) {
        if (entries_[static_cast<std::size_t>(row)].line == plan.rule.line) entryList_->selectRow(row);
    }
    followingDay_ = wasFollowing;
}

void CalendarWindow::ShowMonthOf(int row) {
    if (followingDay_ || row < 0 || row >= static_cast<int>(entries_.size())) return;
    const CalendarEntry& e = entries_[static_cast<std::size_t>(row)];
    // A month already showing part of the entry stays; else the page turns to where the entry starts.
    const QDate pageFirst(monthView_->yearShown(), monthView_->monthShown(), 1);
    const QDate pageLast = pageFirst.addMonths(1).addDays(-1);
    if (ToQDate(e.first) <= pageLast && ToQDate(e.last) >= pageFirst) return;
    monthView_->setCurrentPage(e.first.year, e.first.month);
}

bool CalendarWindow::Store(const CalendarEdit& edit) {
    const bool written = SaveCalendar(s_, edit);
    Reload();  // the list shows the file as it really is
    return written;
}

bool CalendarWindow::StoreAt(int row, const std::function<void(std::vector<CalendarEntry>&, std::size_t)>& edit) {
    const CalendarEntry shown = entries_[static_cast<std::size_t>(row)];
    bool gone = false;
    const bool written = Store([&](std::vector<CalendarEntry>& entries) {
        const auto at = std::find_if(entries.begin(), entries.end(), [&](const CalendarEntry& e) {
            return e.line == shown.line && e.SameAs(shown) && e.note == shown.note;
        });
        gone = at == entries.end();
        if (!gone) edit(entries, static_cast<std::size_t>(at - entries.begin()));
        return !gone;
    });
    if (gone) Tell(s_.dialogs, "校历文件已在别处更改，这个条目已不在原处。请在重新读出的列表中再操作一次。");
    return written;
}

bool CalendarWindow::AskEntry(const QString& caption, CalendarEntry& entry) {
    CalendarEntryDialog dialog(s_.dialogs, s_.appFolder / "job", this);
    dialog.setWindowTitle(caption);
    dialog.SetEntry(entry);
    if (dialog.exec() != QDialog::Accepted) return false;
    entry = dialog.Entry();
    return true;
}

void CalendarWindow::AddClick() {
    CalendarEntry entry;
    entry.first = entry.last = FromQDate(monthView_->selectedDate());
    if (!AskEntry(QStringLiteral("添加校历条目"), entry)) return;
    Store([&](std::vector<CalendarEntry>& entries) {
        entries.push_back(entry);
        return true;
    });
}

void CalendarWindow::EditClick() {
    const int row = entryList_->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    CalendarEntry entry = entries_[static_cast<std::size_t>(row)];
    if (IsTodayOnly(entry.kind)) {
        Tell(s_.dialogs, "今日更改请用菜单中的“恢复今日铃声”撤销。");
        return;
    }
    if (!AskEntry(QStringLiteral("修改校历条目"), entry)) return;
    StoreAt(row, [&](std::vector<CalendarEntry>& entries, std::size_t at) {
        entry.line = entries[at].line;  // it takes the place of the one it changes
        entries[at] = entry;
    });
}

void CalendarWindow::RemoveClick() {
    const int row = entryList_->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const MessageRequest ask{"确定要移除这个校历条目吗？", "提示", MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (s_.dialogs.Message(ask) != MessageAnswer::Ok) return;
    StoreAt(row, [](std::vector<CalendarEntry>& entries, std::size_t at) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(at));
    });
}

void CalendarWindow::ImportClick() {
    const auto chosen = s_.dialogs.OpenFile({"导入 iCalendar 日历", kIcsFilter, s_.appFolder.string()});
    if (chosen) ImportFile(*chosen);
}

bool CalendarWindow::ImportFile(const std::string& path) {
    const IcsImport read = ReadIcsAside(path, s_.clock.Now().date, this);
    if (!read.error.empty()) {
        Tell(s_.dialogs, read.error);
        return false;
    }
    const std::string leftOut = read.LeftOutText();
    if (!leftOut.empty()) LogLine("calendar import of " + path + ": " + leftOut);
    const auto added = NotYetIn(entries_, read.entries);
    const std::size_t duplicates = read.entries.size() - added.size();
    const auto weekends = WeekendsForMakeUpDays(entries_, read.entries);
    const std::string allThere = "文件中的 " + std::to_string(duplicates) + " 个条目校历中都已有";
    if (added.empty() && weekends.empty()) {
        Tell(s_.dialogs,
             (read.entries.empty() ? "文件中没有全天的日程，没有可导入的条目。" : allThere + "，无需导入。") +
                 (leftOut.empty() ? "" : "\n" + leftOut));
        return false;
    }
    // The file's make-up days as the school chose their songs in the preview.
    std::vector<CalendarEntry> chosen = added;
    if (!added.empty()) {
        std::string text = "将添加 " + std::to_string(added.size()) + " 个条目";
        if (duplicates > 0) text += "（已有的 " + std::to_string(duplicates) + " 个跳过）";
        text += "：";
        if (!leftOut.empty()) text += "\n" + leftOut;
        IcsPreviewDialog preview(added, text, this);
        if (preview.exec() != QDialog::Accepted) return false;
        chosen = preview.Entries();
    }
    // A make-up day only counts on a rest weekday: without any, the holiday file alone leaves weekends ringing.
    bool addWeekends = false;
    if (!weekends.empty()) {
        const auto makeUp = std::find_if(read.entries.begin(), read.entries.end(),
                                         [](const CalendarEntry& e) { return e.kind == CalendarKind::SchoolDay; });
        std::string ranges;
        for (const auto& e : weekends)
            ranges += (ranges.empty() ? "" : "、") + DateText(e.first) + " 至 " + DateText(e.last);
        const std::string text = (added.empty() ? allThere + "。\n" : std::string()) + "导入的调休上课日（如 " +
                                 DateText(makeUp->first) +
                                 "）只在休息日才起作用，而校历没有说这些日期每周哪几天休息：周六、周日仍会照常响铃。"
                                 "\n\n要把 " +
                                 ranges + " 的周六、周日设为休息日吗？";
        const MessageRequest ask{text, "导入 iCalendar 日历", MessageIcon::Question, MessageButtons::YesNo, 0};
        addWeekends = s_.dialogs.Message(ask) == MessageAnswer::Yes;
    }
    if (added.empty() && !addWeekends) return false;
    return Store([&](std::vector<CalendarEntry>& entries) {
        // What the file holds by now decides what is new; the chosen songs go with each new entry.
        const auto freshAsRead = NotYetIn(entries, added);
        std::vector<CalendarEntry> fresh;
        for (std::size_t i = 0, j = 0; i < added.size() && j < freshAsRead.size(); ++i)
            if (added[i].SameAs(freshAsRead[j]) && added[i].note == freshAsRead[j].note) {
                fresh.push_back(chosen[i]);
                ++j;
            }
        fresh = NotYetIn(entries, fresh);
        if (addWeekends) {
            const auto rest = NotYetIn(entries, WeekendsForMakeUpDays(entries, read.entries));
            fresh.insert(fresh.end(), rest.begin(), rest.end());
        }
        entries.insert(entries.end(), fresh.begin(), fresh.end());
        return true;
    });
}

IcsPreviewDialog::IcsPreviewDialog(std::vector<CalendarEntry> entries, const std::string& summary, QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)) {
    setObjectName(QStringLiteral("icsPreview"));
    setWindowTitle(QStringLiteral("导入 iCalendar 日历"));
    OpenOverOpener(this);
    auto* text = new QLabel(Q(summary), this);
    text->setObjectName(QStringLiteral("summary"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);

    const bool anyMakeUp = std::any_of(entries_.begin(), entries_.end(),
                                       [](const CalendarEntry& e) { return e.kind == CalendarKind::SchoolDay; });
    all_ = new QComboBox(this);
    all_->setObjectName(QStringLiteral("makeUpSongs"));
    all_->addItem(QStringLiteral("本日"));
    for (int d = 1; d <= 7; ++d) all_->addItem(Q(WeekdayName(d)));
    all_->addItem(QStringLiteral("被调换的那天（说明里写明的，没写则本日）"));
    auto* allRow = new QWidget(this);
    auto* allLayout = new QHBoxLayout(allRow);
    allLayout->setContentsMargins(0, 0, 0, 0);
    allLayout->addWidget(new QLabel(QStringLiteral("调休日用哪天的铃声："), allRow));
    allLayout->addWidget(all_, 1);
    allRow->setVisible(anyMakeUp);

    const int rows = static_cast<int>(entries_.size());
    list_ = new QTableWidget(rows, 5, this);
    list_->setObjectName(QStringLiteral("previewList"));
    list_->setHorizontalHeaderLabels({QStringLiteral("开始"), QStringLiteral("结束"), QStringLiteral("类别"),
                                      QStringLiteral("说明"), QStringLiteral("铃声")});
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->verticalHeader()->hide();
    list_->setColumnHidden(4, !anyMakeUp);
    songs_.assign(entries_.size(), nullptr);
    ownChoice_.assign(entries_.size(), false);
    for (int row = 0; row < rows; ++row) {
        const std::size_t i = static_cast<std::size_t>(row);
        const CalendarEntry& e = entries_[i];
        const std::array<std::string, 4> cells{DateText(e.first), DateText(e.last), KindCaption(e.kind),
                                               ClipUtf8(e.note, 100)};
        for (int c = 0; c < 4; ++c) list_->setItem(row, c, new QTableWidgetItem(Q(cells[static_cast<std::size_t>(c)])));
        if (e.kind != CalendarKind::SchoolDay) continue;
        auto* songs = new QComboBox(list_);
        songs->setObjectName(QStringLiteral("songs"));
        songs->addItem(QStringLiteral("本日"));
        for (int d = 1; d <= 7; ++d) songs->addItem(Q(WeekdayName(d)));
        connect(songs, &QComboBox::currentIndexChanged, this, [this, i] {
            if (!settingAll_) ownChoice_[i] = true;
        });
        list_->setCellWidget(row, 4, songs);
        songs_[i] = songs;
    }
    list_->resizeColumnsToContents();
    // Most make-up days ring the timetable of the weekday they stand in for; a file that does not say which
    // leaves each its own weekday's songs, as before, until the school picks.
    all_->setCurrentIndex(kStandsInFor);
    AllChanged();
    connect(all_, &QComboBox::currentIndexChanged, this, &IcsPreviewDialog::AllChanged);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("导入(&O)"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("取消(&C)"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(allRow);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(640, 420);
}

void IcsPreviewDialog::AllChanged() {
    settingAll_ = true;
    const int all = all_->currentIndex();
    for (std::size_t i = 0; i < songs_.size(); ++i)
        if (songs_[i] != nullptr && !ownChoice_[i])
            songs_[i]->setCurrentIndex(all == kStandsInFor ? NamedWeekday(entries_[i].note) : all);
    settingAll_ = false;
}

std::vector<CalendarEntry> IcsPreviewDialog::Entries() const {
    std::vector<CalendarEntry> out = entries_;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (songs_[i] == nullptr) continue;
        const int d = songs_[i]->currentIndex();
        out[i].argument = d >= 1 && d <= 7 ? std::to_string(d) : std::string();
    }
    return out;
}

int IcsPreviewDialog::NamedWeekday(const std::string& note) {
    static constexpr const char* kDigits[] = {"一", "二", "三", "四", "五", "六", "日", "天"};
    int found = 0;
    for (const char* prefix : {"周", "星期", "礼拜"}) {
        for (std::size_t at = note.find(prefix); at != std::string::npos; at = note.find(prefix, at + 1)) {
            const std::string_view rest = std::string_view(note).substr(at + std::strlen(prefix));
            for (int d = 0; d < 8; ++d) {
                if (!rest.starts_with(kDigits[d])) continue;
                const int day = std::min(d + 1, 7);
                if (found != 0 && found != day) return 0;
                found = day;
            }
        }
    }
    return found;
}

// ---- today only ----

ShiftDialog::ShiftDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("shiftToday"));
    setWindowTitle(QStringLiteral("今日推迟"));
    OpenOverOpener(this);
    minutes_ = new QSpinBox(this);
    minutes_->setObjectName(QStringLiteral("minutes"));
    minutes_->setRange(1, 120);
    minutes_->setValue(10);
    minutes_->setSuffix(QStringLiteral(" 分钟"));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定(&O)"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("取消(&C)"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("今天余下的铃声推迟："), this));
    layout->addWidget(minutes_);
    layout->addWidget(buttons);
}

int ShiftDialog::minutes() const { return minutes_->value(); }

TodayCommands::TodayCommands(CalendarServices services, QObject* parent) : QObject(parent), s_(std::move(services)) {}

bool TodayCommands::Apply(const std::function<std::vector<CalendarEntry>(std::vector<CalendarEntry>)>& change) {
    return SaveCalendar(s_, [&](std::vector<CalendarEntry>& entries) {
        entries = change(std::move(entries));
        return true;
    });
}

bool TodayCommands::Silence() {
    LogLine("today only: no more bells today");
    const CalendarDate today = s_.clock.Now().date;
    return Apply([&](std::vector<CalendarEntry> entries) { return SilenceToday(std::move(entries), today); });
}

bool TodayCommands::SkipNext() {
    const LocalDateTime now = s_.clock.Now();
    const DayBells today = BellsOfDate(s_.appFolder, now.date);
    const auto next = NextBell(today.bells, now.time);
    if (!next) return false;
    LogLine("today only: skip the bell " + HourMinuteText(next->setTime) + " job " + std::to_string(next->jobNo) +
            " \"" + next->name + "\"");
    return Apply([&](std::vector<CalendarEntry> entries) {
        return SkipBell(std::move(entries), now.date, next->setTime, next->jobNo);
    });
}

bool TodayCommands::Shift(int minutes) {
    const LocalDateTime now = s_.clock.Now();
    LogLine("today only: the rest of today's bells ring " + std::to_string(minutes) + " minutes later");
    return Apply([&](std::vector<CalendarEntry> entries) {
        return ShiftToday(std::move(entries), now.date, now.time, minutes);
    });
}

bool TodayCommands::AskSilence() {
    if (HeldElsewhere(s_)) return false;
    const MessageRequest ask{"今天剩下的铃声都不响了，确定吗？\n（可以用“恢复今日铃声”撤销）", "提示",
                             MessageIcon::Question, MessageButtons::OkCancel, 1};
    if (s_.dialogs.Message(ask) != MessageAnswer::Ok) return false;
    return Silence();
}

void TodayCommands::AskShift(QWidget* parent) {
    if (HeldElsewhere(s_)) return;
    ShiftDialog dialog(VisibleOpener(parent));
    if (dialog.exec() == QDialog::Accepted) Shift(dialog.minutes());
}

bool TodayCommands::Restore() {
    LogLine("today only: today's bells restored");
    const CalendarDate today = s_.clock.Now().date;
    return Apply([&](std::vector<CalendarEntry> entries) { return RestoreToday(std::move(entries), today); });
}

void TodayCommands::OpenCalendar(QWidget* parent) {
    // Opened a second time from the other menu: the one already open comes to the front.
    if (open_ != nullptr) {
        open_->raise();
        open_->activateWindow();
        return;
    }
    CalendarWindow window(s_, VisibleOpener(parent));
    open_ = &window;
    window.exec();
}

std::string TodayCommands::SkipCaption() const {
    const LocalDateTime now = s_.clock.Now();
    const DayBells today = BellsOfDate(s_.appFolder, now.date);
    const auto next = NextBell(today.bells, now.time);
    return next ? "跳过 " + HourMinuteText(next->ringTime) + " " + next->name : "跳过下一个铃声";
}

void TodayCommands::AddTo(QMenu* menu, QAction* before) {
    const auto add = [&](const char* name, const char* caption, std::function<void()> run) {
        auto* action = new QAction(QString::fromUtf8(caption), menu);
        action->setObjectName(QString::fromLatin1(name));
        // Queued so the menu has closed before a window or a box opens.
        connect(action, &QAction::triggered, this, std::move(run), Qt::QueuedConnection);
        menu->insertAction(before, action);
        return action;
    };
    QWidget* parent = menu->parentWidget();
    menu->insertSeparator(before)->setObjectName(QStringLiteral("calendarSeparator"));
    add("calendar", "校历(&L)…", [this, parent] { OpenCalendar(parent); });
    QAction* silence = add("silenceToday", "今天不响铃", [this] { AskSilence(); });
    QAction* skip = add("skipNext", "跳过下一个铃声", [this] { SkipNext(); });
    add("shiftToday", "今日推迟…", [this, parent] { AskShift(parent); });
    QAction* restore = add("restoreToday", "恢复今日铃声", [this] { Restore(); });
    connect(menu, &QMenu::aboutToShow, this, [this, silence, skip, restore] {
        const LocalDateTime now = s_.clock.Now();
        const DayBells today = BellsOfDate(s_.appFolder, now.date);
        const auto next = NextBell(today.bells, now.time);
        skip->setText(Q(next ? "跳过 " + HourMinuteText(next->ringTime) + " " + next->name : "跳过下一个铃声"));
        skip->setEnabled(next.has_value());
        silence->setEnabled(!today.plan.rule.silenced);
        restore->setEnabled(today.plan.rule.TodayChanged());
    });
}

}  // namespace lingchao
