#include "ui/signal_desk.h"

#include <QAction>
#include <QMenu>

namespace lingchao {

SignalDesk::SignalDesk(std::filesystem::path appFolder, Dialogs& dialogs, SignalBusService::Hook ask,
                       std::function<QRect()> clockGeometry)
    : appFolder_(std::move(appFolder)),
      dialogs_(dialogs),
      ask_(std::move(ask)),
      clockGeometry_(std::move(clockGeometry)),
      panel_(std::make_unique<SignalPanel>(
          SignalPanel::Hooks{[this] { Ask(SignalRequest::Next, ""); }, [this] { Ask(SignalRequest::End, ""); }})) {}

SignalDesk::~SignalDesk() { delete window_.data(); }

void SignalDesk::AddTo(QMenu* menu, QAction* before) {
    auto* item = new QAction(QStringLiteral("紧急与演练…"), menu);
    item->setObjectName(QStringLiteral("signals"));
    connect(item, &QAction::triggered, this, [this] { Open(); });
    menu->insertAction(before, item);
    menu->insertSeparator(item);  // a group of its own: not one of today's changes
}

void SignalDesk::Open() {
    // The file as it is now: an edit needs no restart. Without one, the shipped signals.
    const DrillsRead read = ReadDrills(appFolder_ / kDrillsFile);
    std::vector<DrillSignal> plans = read.present ? read.plans : DefaultDrillSignals();
    if (window_ == nullptr) {
        window_ = new SignalWindow(
            std::move(plans),
            SignalServices{appFolder_, dialogs_, [this](const std::string& name) { Ask(SignalRequest::Start, name); }});
        window_->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        window_->SetPlans(std::move(plans));
    }
    window_->ShowState(state_);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SignalDesk::ShowState(const SignalView& view) {
    state_ = view;
    if (window_ != nullptr) window_->ShowState(view);
    panel_->ShowState(view);
    if (view.running) panel_->Place(clockGeometry_());
}

void SignalDesk::Ask(SignalRequest request, const std::string& name) {
    ask_(request, name, [this, desk = QPointer<SignalDesk>(this)](const std::string& why) {
        if (desk == nullptr || why.empty()) return;
        dialogs_.Message({why, "紧急与演练", MessageIcon::Information, MessageButtons::Ok, 0});
    });
}

}  // namespace lingchao
