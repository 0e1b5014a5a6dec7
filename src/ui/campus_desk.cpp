#include "ui/campus_desk.h"

#include <QAction>
#include <QMenu>
#include <utility>

#include "base/log.h"
#include "ui/campus_window.h"

namespace lingchao {
namespace {

constexpr int kMaxLinkChars = 40;  // a menu item, not the whole story: the window has the rest

}  // namespace

QString TimetableReadOnlyReason(const CampusSettingsRead& read) {
    if (!read.On() || read.settings.role == CampusRole::Main) return {};
    return QStringLiteral("任务表由主控（%1）下发，本机只读").arg(read.settings.campus);
}

QString CalendarReadOnlyReason(const CampusSettingsRead& read) {
    if (!read.On() || read.settings.role == CampusRole::Main) return {};
    return QStringLiteral("校历和今天的改动由主控（%1）下发，请在主控上修改").arg(read.settings.campus);
}

bool TimetableHeldElsewhere(const std::filesystem::path& appFolder, Dialogs& dialogs) {
    const QString why = TimetableReadOnlyReason(ReadCampusSettings(appFolder));
    if (why.isEmpty()) return false;
    LogLine("timetable: not changed here: " + why.toStdString());
    dialogs.Message({why.toStdString(), "提示", MessageIcon::Information, MessageButtons::Ok, 0});
    return true;
}

CampusDesk::CampusDesk(std::filesystem::path appFolder, std::function<CampusView()> view, std::function<void()> restart)
    : appFolder_(std::move(appFolder)), view_(std::move(view)), restart_(std::move(restart)) {}

CampusDesk::~CampusDesk() = default;

void CampusDesk::AddTo(QMenu* menu, QAction* before, Dialogs* dialogs) {
    dialogs_ = dialogs;
    auto* item = new QAction(QStringLiteral("校园…"), menu);
    item->setObjectName(QStringLiteral("campus"));
    menu->insertAction(before, item);
    connect(item, &QAction::triggered, this, [this] { Open(); });
    connect(menu, &QMenu::aboutToShow, item, [this, item] {
        const CampusView view = view_ ? view_() : CampusView{};
        if (!view.on) {
            item->setText(QStringLiteral("校园…"));
            return;
        }
        // The link without its reason: "已连接 broker:1883", "与 broker:1883 断开 2 分钟".
        QString link = view.link.section(QStringLiteral("："), 0, 0);
        if (link.size() > kMaxLinkChars) link = link.left(kMaxLinkChars - 1) + QStringLiteral("…");
        item->setText(QStringLiteral("校园（%1，%2）…").arg(view.role, link));
    });
}

void CampusDesk::Open() {
    if (dialogs_ == nullptr) return;
    if (window_ != nullptr) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    CampusWindow window({appFolder_, *dialogs_, view_, restart_});
    window_ = &window;
    window.exec();
}

}  // namespace lingchao
