#include "platform/aligned_ticker.h"

#include <QDateTime>

namespace lingchao {
namespace {
constexpr int kMarginMs = 3;  // lands after the boundary even with a timer a little early
}

AlignedTicker::AlignedTicker(std::function<void()> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &AlignedTicker::Fire);
}

int AlignedTicker::DelayToNextSecond(int msIntoSecond) { return 1000 - msIntoSecond + kMarginMs; }

void AlignedTicker::Start() {
    const int ms = static_cast<int>(QDateTime::currentMSecsSinceEpoch() % 1000);
    timer_.start(DelayToNextSecond(ms));
}

void AlignedTicker::Stop() { timer_.stop(); }

void AlignedTicker::Fire() {
    const int ms = static_cast<int>(QDateTime::currentMSecsSinceEpoch() % 1000);
    if (ms > 900) {
        // Woken just before the boundary: a tick now would still see the old second.
        timer_.start(DelayToNextSecond(ms));
        return;
    }
    timer_.start(DelayToNextSecond(ms));
    if (onTick_) onTick_();
}

}  // namespace lingchao
