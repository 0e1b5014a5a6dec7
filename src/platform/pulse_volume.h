#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/output_volume.h"

class QTimer;

namespace lingchao {

// OutputVolumeControl over libpulse (PulseAudio, or PipeWire's pulse server). Each request has a connection of
// its own on libpulse's thread, so a slow or vanished server holds up nothing else; the answer is delivered on the
// thread that created this object (a Qt event loop).
class PulseVolumeControl final : public QObject, public OutputVolumeControl {
    Q_OBJECT
public:
    PulseVolumeControl();
    ~PulseVolumeControl() override;
    PulseVolumeControl(const PulseVolumeControl&) = delete;
    PulseVolumeControl& operator=(const PulseVolumeControl&) = delete;

    void RaiseToFull(std::function<void(const SavedVolume& before)> noteBefore,
                     std::function<void(std::optional<SavedVolume> before, std::string why)> done) override;
    void Restore(const SavedVolume& saved, std::function<void(std::string why)> done) override;

private:
    struct Impl;
    struct Waiting {
        std::function<void(std::optional<SavedVolume>, std::string)> raised;  // set for a raise
        std::function<void(std::string)> restored;                            // set for a restore
        QTimer* limit = nullptr;
    };
    void Start(std::uint64_t id, Waiting waiting, const SavedVolume* restore,
               std::function<void(const SavedVolume&)> noteBefore);
    void Answer(std::uint64_t id, std::optional<SavedVolume> before, const std::string& why);
    void GiveUp(std::uint64_t id);

    std::unique_ptr<Impl> impl_;
    std::map<std::uint64_t, Waiting> waiting_;
    std::uint64_t nextId_ = 1;
};

}  // namespace lingchao
