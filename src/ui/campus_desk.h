#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <filesystem>
#include <functional>

#include "base/dialogs.h"
#include "campus/campus_settings.h"
#include "campus/campus_view.h"

class QAction;
class QMenu;

namespace lingchao {

class CampusWindow;

// Why this PC's timetable may not be edited here: "任务表由主控（<campus>）下发，本机只读" on a follower or a
// standby of a campus that is on; "" otherwise.
QString TimetableReadOnlyReason(const CampusSettingsRead& read);
// The same for the calendar and today's changes (they travel in calendar.csv).
QString CalendarReadOnlyReason(const CampusSettingsRead& read);
// True, with the reason told and logged, when this PC's timetable comes from the campus's main: tidied, imported
// or restored here, the main's next copy would undo it.
bool TimetableHeldElsewhere(const std::filesystem::path& appFolder, Dialogs& dialogs);

// The campus as the windows have it: "校园…" in a menu, whose caption names this PC's role and the link while the
// campus is on, and the 校园 window it opens.
class CampusDesk final : public QObject {
    Q_OBJECT
public:
    // `view`: the campus as it stands; `restart`: the settings were written, the campus starts again with them.
    CampusDesk(std::filesystem::path appFolder, std::function<CampusView()> view, std::function<void()> restart);
    ~CampusDesk() override;

    // "校园…" in `menu`, before `before` (appended when null); its window's file pickers go through `dialogs`.
    void AddTo(QMenu* menu, QAction* before, Dialogs* dialogs);
    void Open();

private:
    std::filesystem::path appFolder_;
    std::function<CampusView()> view_;
    std::function<void()> restart_;
    Dialogs* dialogs_ = nullptr;
    QPointer<CampusWindow> window_;
};

}  // namespace lingchao
