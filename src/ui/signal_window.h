#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/dialogs.h"
#include "store/drill_plans.h"
#include "ui/signal_records.h"

class QLabel;
class QPushButton;
class QTimer;

namespace lingchao {

// What the bell publishes of a running signal, as the windows show it.
using SignalView = SignalState;

// What the signal window needs of the program.
struct SignalServices {
    std::filesystem::path appFolder;  // where bell-log.csv is, for 演练记录
    Dialogs& dialogs;
    std::function<void(const std::string& name)> start;  // after the confirmation and the countdown
};

// "紧急与演练": one large button per plan (emergencies red), each asking once and then counting down on screen
// before the signal starts, so a mistaken press can still be taken back; and 演练记录.
class SignalWindow final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCountdownMs = 5000;
    static constexpr int kCountdownSteps = 5;  // the number shown counts 5 … 1

    // `countdownMs` is the whole countdown (tests shorten it); the number on screen still counts 5 … 1.
    SignalWindow(std::vector<DrillSignal> plans, SignalServices services, int countdownMs = kCountdownMs,
                 QWidget* parent = nullptr);
    ~SignalWindow() override;

    // The plans as read again (drills.csv changed); a countdown running is cancelled.
    void SetPlans(std::vector<DrillSignal> plans);
    // A signal sounding (from here, the command line or another window) disables the plans and is named.
    void ShowState(const SignalView& view);

    // A plan's button: asks, then counts down.
    void PlanClick(std::size_t index);
    // 取消 during the countdown: nothing starts.
    void CancelClick();
    void RecordsClick();

    bool countingDown() const { return !pending_.empty(); }
    // The number on screen while counting down, else 0.
    int secondsLeft() const { return countingDown() ? ticksLeft_ : 0; }
    SignalRecordsWindow* recordsWindow() const { return records_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void BuildPlans();
    void Tick();
    void StopCountdown();
    void UpdateEnabled();

    std::vector<DrillSignal> plans_;
    SignalServices s_;
    int countdownMs_;
    std::string pending_;  // the plan counted down to; "" when none
    int ticksLeft_ = 0;
    bool running_ = false;
    QTimer* timer_ = nullptr;
    QWidget* planBox_ = nullptr;
    std::vector<QPushButton*> buttons_;
    QLabel* runningLine_ = nullptr;
    QWidget* countdownBox_ = nullptr;
    QLabel* countdownCaption_ = nullptr;
    QLabel* countdown_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPointer<SignalRecordsWindow> records_;
};

// The small window beside the floating clock while a signal sounds: what to do now, how long it has run,
// 下一步 and 结束. Frameless and above every window, so it is seen wherever the operator is.
class SignalPanel final : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> next;
        std::function<void()> end;
    };
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    // `now` reads the monotonic clock (tests give their own).
    explicit SignalPanel(Hooks hooks, Now now = {}, QWidget* parent = nullptr);

    // Shown while `view.running`, hidden otherwise.
    void ShowState(const SignalView& view);
    // Under the clock on the clock's screen, kept within it (above the clock when there is no room below).
    void Place(const QRect& clockGeometry);
    // Reads the elapsed time again (each second while shown).
    void UpdateElapsed();

    // "mm:ss" (the minutes go past 59 in a long exercise).
    static QString ElapsedText(std::chrono::milliseconds elapsed);

private:
    Hooks hooks_;
    Now now_;
    SignalView view_;
    QTimer* timer_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QLabel* problem_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* end_ = nullptr;
};

}  // namespace lingchao
