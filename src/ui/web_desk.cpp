#include "ui/web_desk.h"

#include <QAction>
#include <QMenu>

#include "ui/web_window.h"

namespace lingchao {

WebDesk::WebDesk(BellWebBackend::Parts parts, WarningBoard* warnings)
    : appFolder_(parts.appFolder), service_(std::move(parts), warnings) {}

WebDesk::~WebDesk() = default;

void WebDesk::AddTo(QMenu* menu, QAction* before, Dialogs* dialogs) {
    dialogs_ = dialogs;
    auto* item = new QAction(QStringLiteral("网页控制…"), menu);
    item->setObjectName(QStringLiteral("webControl"));
    menu->insertAction(before, item);
    connect(item, &QAction::triggered, this, [this] { Open(); });
    connect(menu, &QMenu::aboutToShow, item, [this, item] {
        const std::string address = service_.Address();
        item->setText(address.empty() ? QStringLiteral("网页控制…")
                                      : QStringLiteral("网页控制（%1）…").arg(QString::fromStdString(address)));
    });
}

void WebDesk::Open() {
    if (dialogs_ == nullptr) return;
    if (window_ != nullptr) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    WebControlWindow window({appFolder_, *dialogs_, [this](const WebSettings& s) { return service_.Apply(s); },
                             [this] { return service_.Address(); }});
    window_ = &window;
    window.exec();
}

}  // namespace lingchao
