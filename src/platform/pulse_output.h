#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "base/sound_output.h"

namespace lingchao {

// SoundOutputMonitor over libpulse (PulseAudio, or PipeWire's pulse server). It talks to the server on libpulse's
// own thread, keeps one connection to hear changes at once, and reports on the thread that created it (a Qt event
// loop). It only reads: volume and mute are the user's.
class PulseOutputMonitor final : public QObject, public SoundOutputMonitor {
    Q_OBJECT
public:
    PulseOutputMonitor();
    ~PulseOutputMonitor() override;
    PulseOutputMonitor(const PulseOutputMonitor&) = delete;
    PulseOutputMonitor& operator=(const PulseOutputMonitor&) = delete;

    void Check() override;
    void SetListener(std::function<void(const SoundOutputState&)> listener) override;

private:
    struct Impl;
    void Deliver(const SoundOutputState& state);

    std::unique_ptr<Impl> impl_;
    std::function<void(const SoundOutputState&)> listener_;
    SoundOutputState latest_;
    bool told_ = false;   // the listener has heard latest_
    QTimer settle_;       // a dragged volume slider reports dozens of changes: tell only where it settles
    QTimer answerLimit_;  // a server that takes this long to answer counts as none
};

}  // namespace lingchao
