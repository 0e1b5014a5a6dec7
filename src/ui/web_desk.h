#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "base/dialogs.h"
#include "web/web_service.h"

class QMenu;
class QAction;

namespace lingchao {

class WebControlWindow;

// The office page as the program has it: the service started from lingchao.ini, and "网页控制…" in a menu, whose
// caption names the page's address while it is served.
class WebDesk final : public QObject {
    Q_OBJECT
public:
    WebDesk(BellWebBackend::Parts parts, WarningBoard* warnings);
    ~WebDesk() override;

    void Start() { service_.StartFromSettings(); }
    // "网页控制…" in `menu`, before `before` (appended when null); its window's boxes go through `dialogs`.
    void AddTo(QMenu* menu, QAction* before, Dialogs* dialogs);
    void Open();

private:
    std::filesystem::path appFolder_;
    Dialogs* dialogs_ = nullptr;
    WebService service_;
    QPointer<WebControlWindow> window_;
};

}  // namespace lingchao
