#pragma once

#include <QDialog>
#include <QPixmap>
#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTimer;

namespace lingchao {

// The one-second tick of the countdown; tests drive it by hand instead of waiting.
class CountdownTimer {
public:
    virtual ~CountdownTimer() = default;
    // Calls `tick` every intervalMs, on the UI thread, until Stop() or destruction.
    virtual void Start(int intervalMs, std::function<void()> tick) = 0;
    // No tick arrives after this returns.
    virtual void Stop() = 0;
};

// A QTimer (objectName "Timer1") owned by the dialog.
class QtCountdownTimer final : public CountdownTimer {
public:
    explicit QtCountdownTimer(QObject* owner);
    ~QtCountdownTimer() override;
    void Start(int intervalMs, std::function<void()> tick) override;
    void Stop() override;

private:
    QTimer* timer_;
};

// The power symbol shown beside the question, `size` pixels square.
QPixmap PowerSymbolPixmap(int size, qreal devicePixelRatio = 1.0);

// Form2 "SHUTDOWN": counts ten seconds down, then runs the shutdown sequence unless "&NO" is pressed.
class ShutdownConfirm final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShutdownRequested = 2;  // exec() result after the sequence ran (and returned: refused)

    // `shutdownSequence` runs at YES or when the count runs out; a null timer means a real one.
    explicit ShutdownConfirm(std::function<void()> shutdownSequence, std::unique_ptr<CountdownTimer> timer = nullptr,
                             QWidget* parent = nullptr);
    ~ShutdownConfirm() override;

    int countdown() const { return countdown_; }
    // One Timer1 tick.
    void Timer1_Timer();
    // 0 = YES, 1 = NO.
    void Command1_Click(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Shutdown();

    std::function<void()> shutdown_;
    std::unique_ptr<CountdownTimer> timer_;
    std::int16_t countdown_ = 10;
    bool shuttingDown_ = false;
    QLabel* image_ = nullptr;
    QPushButton* yes_ = nullptr;
    QPushButton* no_ = nullptr;
};

// The scheduler's side of the confirmation: opens Form2 modally, never a second one while one is open.
class ShutdownConfirmHost final {
public:
    using TimerFactory = std::function<std::unique_ptr<CountdownTimer>()>;
    // `shutdownSequence` is handed to each Form2; without `timers` each Form2 gets a real timer.
    explicit ShutdownConfirmHost(std::function<void()> shutdownSequence, TimerFactory timers = {});

    // Opens a fresh Form2 (count at 10) above the active modal window and returns when it closes;
    // does nothing while one is open.
    void ConfirmShutdown();

    bool isOpen() const { return open_ != nullptr; }
    ShutdownConfirm* openDialog() const { return open_; }
    int openings() const { return openings_; }

private:
    std::function<void()> shutdown_;
    TimerFactory timers_;
    ShutdownConfirm* open_ = nullptr;
    int openings_ = 0;
};

}  // namespace lingchao
