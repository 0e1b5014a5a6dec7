#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/dialogs.h"
#include "platform/signal_bus.h"
#include "ui/signal_window.h"

class QMenu;
class QAction;

namespace lingchao {

// The drill and emergency windows as the program has them: 紧急与演练 on demand, the panel under the clock while
// a signal sounds. Every request goes to the bell through `ask`, whose answer comes later; a refusal is shown.
class SignalDesk final : public QObject {
    Q_OBJECT
public:
    SignalDesk(std::filesystem::path appFolder, Dialogs& dialogs, SignalBusService::Hook ask,
               std::function<QRect()> clockGeometry);
    ~SignalDesk() override;

    // "紧急与演练…" in `menu`, before `before` (appended when null).
    void AddTo(QMenu* menu, QAction* before = nullptr);
    // Opens (or raises) 紧急与演练 with drills.csv as it is now.
    void Open();
    void ShowState(const SignalView& view);

private:
    void Ask(SignalRequest request, const std::string& name);

    std::filesystem::path appFolder_;
    Dialogs& dialogs_;
    SignalBusService::Hook ask_;
    std::function<QRect()> clockGeometry_;
    std::unique_ptr<SignalPanel> panel_;
    QPointer<SignalWindow> window_;
    SignalView state_;
};

}  // namespace lingchao
