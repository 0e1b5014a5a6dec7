#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace lingchao {

// Calls its handler once a second, a few milliseconds after each wall-clock second begins, so that a job's
// minute is seen within milliseconds of its start. Re-armed at every tick; follows wall-clock changes.
class AlignedTicker final : public QObject {
    Q_OBJECT
public:
    explicit AlignedTicker(std::function<void()> onTick, QObject* parent = nullptr);
    void Start();
    void Stop();
    bool IsActive() const { return timer_.isActive(); }

    // Milliseconds to wait, from `msIntoSecond`, to land just after the next second boundary.
    static int DelayToNextSecond(int msIntoSecond);

private:
    void Fire();

    std::function<void()> onTick_;
    QTimer timer_;
};

}  // namespace lingchao
