#include "ui/clock_menu.h"

#include <QAction>
#include <QMenu>

namespace lingchao {
namespace {

void Call(const std::function<void()>& hook) {
    if (hook) hook();
}

}  // namespace

ClockMenu::ClockMenu(Hooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("Form3"));
    wenjian_ = new QMenu(this);
    wenjian_->setObjectName(QStringLiteral("wenjian"));
    tidy1_ = AddItem("tidy1", QStringLiteral("整理音乐路径…"), &ClockMenu::Form3_tidy1_Click);
    tidySeparator_ = wenjian_->addSeparator();
    tidySeparator_->setObjectName(QStringLiteral("tidySeparator"));
    OfferTidy(false);
    // The text after the tab is only a hint: the global hotkey does the work, so no QShortcut is registered.
    AddItem("show_w", QStringLiteral("显示主窗口\tCtrl+F12"), &ClockMenu::Form3_show_w_Click);
    AddSeparator("aaa");
    AddItem("play1", QStringLiteral("播放(&P)"), &ClockMenu::Form3_play1_Click);
    AddItem("pause1", QStringLiteral("暂停(&A)"), &ClockMenu::Form3_pause1_Click);
    AddItem("stop1", QStringLiteral("停止(&S)"), &ClockMenu::Form3_stop1_Click);
    AddSeparator("bbb");
    AddItem("quit1", QStringLiteral("退出(&Q)"), &ClockMenu::Form3_quit1_Click);
}

QAction* ClockMenu::AddItem(const char* name, const QString& caption, void (ClockMenu::*handler)()) {
    QAction* action = wenjian_->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    // Queued so the menu has closed before a handler opens a window or a modal box.
    connect(action, &QAction::triggered, this, handler, Qt::QueuedConnection);
    return action;
}

void ClockMenu::AddSeparator(const char* name) {
    QAction* separator = wenjian_->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
}

void ClockMenu::Form3_show_w_Click() { Call(hooks_.showMainWindow); }
void ClockMenu::Form3_play1_Click() { Call(hooks_.play); }
void ClockMenu::Form3_pause1_Click() { Call(hooks_.pause); }
void ClockMenu::Form3_stop1_Click() { Call(hooks_.stop); }
void ClockMenu::Form3_quit1_Click() { Call(hooks_.quit); }
void ClockMenu::Form3_tidy1_Click() { Call(tidy_); }

void ClockMenu::OfferTidy(bool offered) {
    tidy1_->setVisible(offered);
    tidySeparator_->setVisible(offered);
}

}  // namespace lingchao
