#pragma once

#include <QMainWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <string>

#include "base/dialogs.h"
#include "base/media_player.h"
#include "store/jilu.h"
#include "store/job_groups.h"
#include "store/joblist.h"

class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace lingchao {

// The player menu's commands; the player's own code supplies them.
struct PlayerCommands {
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> stop;  // the stop sequence
};

// Menu items whose windows come from elsewhere; each does nothing until it is set.
struct Form4Hooks {
    std::function<void()> quit;
    std::function<void()> shuttime;
    std::function<void()> wmp;
    std::function<void()> about;
    std::function<void()> tidy;       // 整理音乐路径…
    std::function<void()> importOld;  // 导入旧电脑的文件…
};

// The main window: the job table of "default.dll" (List1) with its buttons, menus, right-click menu and
// double-click. Every command goes through JobList / Jilu; closing the window only hides it.
class Form4 final : public QMainWindow, public JobListView, public JobEditorLauncher {
    Q_OBJECT
public:
    struct Services {
        Jilu& jilu;
        Dialogs& dialogs;
        MediaPlayer& player;
        std::function<std::string(const JobRecord&)> pickJobMusic;  // the scheduler's PickJobMusic
    };

    explicit Form4(Services services, QWidget* parent = nullptr);
    ~Form4() override;

    // A shown (also minimised) window is restored and focused as it is; a hidden one gets its caption,
    // reloads the job table from "default.dll" and is shown.
    void ShowMainWindow();

    Form4Hooks& hooks() { return hooks_; }
    void SetPlayerCommands(PlayerCommands commands) { playerCommands_ = std::move(commands); }
    // The plan line under the list: today's and tomorrow's plan from the school calendar, each line cut with "…"
    // to the window's width (the tooltip has it whole). On a 任务组 day a line above the list says so.
    void ShowPlanLine(const std::string& text);
    // With a reason, the timetable is someone else's to change: every command that would write it is disabled and
    // the reason shows in a line below the buttons. An empty reason makes the window editable again.
    void SetReadOnly(const QString& why);
    // Replaces the job editor (tests); null restores the real one.
    void SetEditorLauncher(JobEditorLauncher* launcher) { editorOverride_ = launcher; }
    JobList& jobs() { return jobs_; }

    // JobListView over List1.
    void Clear() override;
    void AddRow(const std::string& text) override;
    int RowCount() const override;
    int SelectedRow() const override;
    void SelectRow(int row) override;
    std::string RowText(int row) const override;

    // JobEditorLauncher: opens Form6 modally.
    void ShowModal(const std::string& caption, const JobEditorFields& fields) override;

    // Handlers, named after their controls.
    void Command1_Click(int index);
    void playall_Click();
    void pauseall_Click();
    void playjob_Click();
    void pausejob_Click();
    void runjob_Click();
    void clearjob_Click();
    void List1_DblClick();
    // Right button on List1 at `pos` (viewport pixels); true when the pointer was over the rows.
    bool List1_MouseDown(const QPoint& pos);
    bool List1_MouseUp(const QPoint& pos, const QPoint& globalPos);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void RemoveWithReselection();
    bool OverFilledRows(const QPoint& pos) const;
    void CentreOnScreen();
    void FitToClient();
    bool ReadOnly() const { return !readOnly_.isEmpty(); }
    static void Call(const std::function<void()>& hook) {
        if (hook) hook();
    }

    Services s_;
    JobList jobs_;
    JobGroups groups_;  // the file menu's open and save
    Form4Hooks hooks_;
    PlayerCommands playerCommands_;
    JobEditorLauncher* editorOverride_ = nullptr;
    double dpi_ = 96.0;

    QListWidget* list1_ = nullptr;
    std::array<QPushButton*, 6> command1_{};
    QMenu* rightm_ = nullptr;
    QLabel* planLine_ = nullptr;
    QLabel* todayGroup_ = nullptr;    // "今天响的是任务组《X》…", only on such a day
    QString readOnly_;                // why the timetable may not be changed here; "" when it may
    QLabel* readOnlyLine_ = nullptr;  // says so, below the buttons
};

// For callers that hold the main window only when there is a display (the clock window, the hotkeys):
// the window's ShowMainWindow, or nothing without a window.
void ShowMainWindow(Form4* form);

}  // namespace lingchao
