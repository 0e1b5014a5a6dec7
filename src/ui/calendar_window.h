#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/dialogs.h"
#include "scheduler/calendar.h"
#include "scheduler/clock.h"

class QAction;
class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace lingchao {

// What the calendar's windows and the today-only commands need of the program.
struct CalendarServices {
    std::filesystem::path appFolder;
    Dialogs& dialogs;
    const Clock& clock;
    std::function<void()> changed;  // after every write of "calendar.csv": plan the day again
    // Why the calendar is not changed on this PC (it comes from the campus's main); "" when it is.
    std::function<std::string()> readOnly;
};

// Edits the entries the calendar file holds now; false leaves the file alone (the edit has told why).
using CalendarEdit = std::function<bool(std::vector<CalendarEntry>& entries)>;

// Changes the calendar through ChangeCalendar (what it cannot read is kept, the old file backed up); a failure
// is told at once in a box (title "提示"). True when written.
bool SaveCalendar(const CalendarServices& services, const CalendarEdit& edit);

// "添加校历条目" / "修改校历条目": one entry's dates (typed with the automatic "-"), kind, weekday ticks,
// make-up day's songs, job group and note. OK checks the dates and the kind's argument.
class CalendarEntryDialog final : public QDialog {
    Q_OBJECT
public:
    CalendarEntryDialog(Dialogs& dialogs, const std::filesystem::path& jobFolder, QWidget* parent = nullptr);

    void SetEntry(const CalendarEntry& entry);
    // The entry as typed (valid once OK has closed the dialog).
    CalendarEntry Entry() const { return entry_; }
    void OkClick();

private:
    void KindChanged();

    Dialogs& dialogs_;
    QLineEdit* firstDate_ = nullptr;
    QLineEdit* lastDate_ = nullptr;
    QComboBox* kind_ = nullptr;
    std::array<QCheckBox*, 7> weekdays_{};
    QComboBox* songWeekday_ = nullptr;
    QComboBox* group_ = nullptr;
    QLabel* noGroup_ = nullptr;  // how to make a group, while there is none to choose
    QLineEdit* note_ = nullptr;
    CalendarEntry entry_;
};

// The .ics import's preview "导入 iCalendar 日历": what it will add, one entry a row, and for the make-up school
// days whose weekday's songs ring: one choice for all, which a row's own choice overrides.
class IcsPreviewDialog final : public QDialog {
    Q_OBJECT
public:
    // The choice for all: 本日 (0), 周一 … 周日 (1–7), or the day the make-up day stands in for.
    static constexpr int kStandsInFor = 8;

    IcsPreviewDialog(std::vector<CalendarEntry> entries, const std::string& summary, QWidget* parent = nullptr);
    // The entries, each make-up day with the weekday chosen for it as its argument ("" for its own).
    std::vector<CalendarEntry> Entries() const;
    // The weekday (1–7) a make-up day's note names ("补周四的课", "按星期一上课"), 0 when none or several.
    static int NamedWeekday(const std::string& note);

private:
    void AllChanged();

    std::vector<CalendarEntry> entries_;
    QComboBox* all_ = nullptr;
    QTableWidget* list_ = nullptr;
    std::vector<QComboBox*> songs_;  // per entry; null for all but make-up days
    std::vector<bool> ownChoice_;    // the row's choice was made on it: the choice for all leaves it
    bool settingAll_ = false;
};

// The window "校历": a month view with each date coloured by what it is, the entries beside it, buttons to add,
// edit and remove an entry and to import an iCalendar file.
class CalendarWindow final : public QDialog {
    Q_OBJECT
public:
    explicit CalendarWindow(CalendarServices services, QWidget* parent = nullptr);

    // Reads "calendar.csv" again and shows it.
    void Reload();
    const std::vector<CalendarEntry>& entries() const { return entries_; }

    void AddClick();
    void EditClick();
    void RemoveClick();
    void ImportClick();
    // Imports a file chosen elsewhere: shows what it will add, adds it on OK. True when something was added.
    bool ImportFile(const std::string& path);

    // The colour a date of the month view gets ("" for an ordinary school day).
    static QString DayColour(const DayRule& rule);

private:
    void ShowEntries();
    void ColourMonth(int year, int month);
    void ShowDay();
    // The user chose the entry in `row`: the month view turns to it.
    void ShowMonthOf(int row);
    bool Store(const CalendarEdit& edit);
    // An edit of the entry shown in `row`, refused when the file no longer holds it as shown.
    bool StoreAt(int row, const std::function<void(std::vector<CalendarEntry>&, std::size_t at)>& edit);
    // Opens the entry dialog; true with `entry` filled on OK.
    bool AskEntry(const QString& caption, CalendarEntry& entry);

    CalendarServices s_;
    std::vector<CalendarEntry> entries_;
    std::vector<CalendarProblem> problems_;
    bool present_ = false;
    bool columnsSized_ = false;
    bool followingDay_ = false;  // the list's selection follows the chosen date, not the other way round
    QCalendarWidget* monthView_ = nullptr;
    QTableWidget* entryList_ = nullptr;
    QLabel* dayPlan_ = nullptr;
    QLabel* problemsLabel_ = nullptr;
};

// "今日推迟": how many minutes (1–120) the rest of today's bells ring later.
class ShiftDialog final : public QDialog {
    Q_OBJECT
public:
    explicit ShiftDialog(QWidget* parent = nullptr);
    int minutes() const;
    QSpinBox* spin() const { return minutes_; }

private:
    QSpinBox* minutes_ = nullptr;
};

// The calendar's menu items: "校历…" and the today-only changes "今天不响铃", "跳过 08:45 第一节下课",
// "今日推迟…" and "恢复今日铃声". Put into the clock's menu and the main window's 任务(J) menu.
class TodayCommands final : public QObject {
    Q_OBJECT
public:
    explicit TodayCommands(CalendarServices services, QObject* parent = nullptr);

    // Inserts the items before `before` (appends when null), with a separator; captions and states follow
    // today's plan each time the menu opens.
    void AddTo(QMenu* menu, QAction* before = nullptr);

    // Opens 校历 over `parent`'s window while that is on screen, else over nothing (from the clock's menu).
    void OpenCalendar(QWidget* parent);
    // Asks first (OK/Cancel, Cancel the default); true when the day was silenced.
    bool AskSilence();
    bool Silence();
    bool SkipNext();
    bool Shift(int minutes);
    void AskShift(QWidget* parent);
    bool Restore();
    // "跳过 08:45 第一节下课", or "跳过下一个铃声" when no bell is left today.
    std::string SkipCaption() const;

private:
    bool Apply(const std::function<std::vector<CalendarEntry>(std::vector<CalendarEntry>)>& change);

    CalendarServices s_;
    QPointer<CalendarWindow> open_;
};

}  // namespace lingchao
