#pragma once

#include <QWidget>
#include <functional>

class QAction;
class QMenu;

namespace lingchao {

// Form3: never shown; it only carries the clock's popup menu wenjian.
class ClockMenu final : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> showMainWindow;
        std::function<void()> play;
        std::function<void()> pause;
        std::function<void()> stop;
        std::function<void()> quit;
    };

    explicit ClockMenu(Hooks hooks, QWidget* parent = nullptr);

    QMenu* wenjian() const { return wenjian_; }

    void Form3_show_w_Click();
    void Form3_play1_Click();
    void Form3_pause1_Click();
    void Form3_stop1_Click();
    void Form3_quit1_Click();
    void Form3_tidy1_Click();
    // "整理音乐路径…" at the top of the menu, offered only while a bell's path was found by name.
    void SetTidyHook(std::function<void()> tidy) { tidy_ = std::move(tidy); }
    void OfferTidy(bool offered);

private:
    QAction* AddItem(const char* name, const QString& caption, void (ClockMenu::*handler)());
    void AddSeparator(const char* name);

    Hooks hooks_;
    QMenu* wenjian_ = nullptr;
    std::function<void()> tidy_;
    QAction* tidy1_ = nullptr;
    QAction* tidySeparator_ = nullptr;
};

}  // namespace lingchao
