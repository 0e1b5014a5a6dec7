#include <gst/gst.h>

#include "player/player_backend.h"

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "base/log.h"

namespace lingchao {

namespace {

bool backendReady = false;

// Keeps the medium's name, plays nothing: the program still runs (and logs its bells) without GStreamer.
class SilentPlayer final : public MediaPlayer {
public:
    explicit SilentPlayer(std::string nullMedia) : nullMedia_(std::move(nullMedia)) {}
    void SetFileName(const std::string& path) override {
        fileName_ = path;
        if (path == nullMedia_) return;
        LogLine("no player: not playing \"" + path + "\"");
        if (!proofHandler_) return;
        SoundProof proof;
        proof.fileName = path;
        proof.requested = std::chrono::steady_clock::now();
        proof.problem = "GStreamer is not usable";
        QTimer::singleShot(0, &context_, [this, proof] {
            if (proofHandler_) proofHandler_(proof);
        });
    }
    void SetSoundProofHandler(std::function<void(const SoundProof&)> handler) override {
        proofHandler_ = std::move(handler);
    }
    std::string FileName() const override { return fileName_; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetEndOfStreamHandler(std::function<void()>) override {}

private:
    std::string nullMedia_;
    std::string fileName_;
    std::function<void(const SoundProof&)> proofHandler_;
    QObject context_;
};

// MIDI goes through fluidsynth with Debian's General MIDI sound font; wildmidi, when present, has no
// configuration here and would win on rank only to fail.
void PreferFluidsynthForMidi() {
    GstRegistry* registry = gst_registry_get();
    GstPluginFeature* fluid = gst_registry_lookup_feature(registry, "fluiddec");
    GstPluginFeature* wild = gst_registry_lookup_feature(registry, "wildmididec");
    if (fluid == nullptr) {
        LogLine("MIDI files will not play: GStreamer's fluiddec is missing");
    } else if (wild != nullptr && gst_plugin_feature_get_rank(wild) >= gst_plugin_feature_get_rank(fluid)) {
        gst_plugin_feature_set_rank(fluid, gst_plugin_feature_get_rank(wild) + 1);
    }
    if (fluid != nullptr) gst_object_unref(fluid);
    if (wild != nullptr) gst_object_unref(wild);
    std::error_code ec;
    if (!std::filesystem::exists("/usr/share/sounds/sf3/default-GM.sf3", ec) &&
        !std::filesystem::exists("/usr/share/sounds/sf2/default-GM.sf2", ec)) {
        LogLine("MIDI files will not play: no General MIDI sound font installed");
    }
}

}  // namespace

bool InitPlayerBackend(int* argc, char*** argv) {
    if (backendReady) return true;
    GError* error = nullptr;
    if (!gst_init_check(argc, argv, &error)) {
        LogLine(std::string("no sound: GStreamer cannot start: ") + (error != nullptr ? error->message : "unknown"));
        g_clear_error(&error);
        return false;
    }
    GstElementFactory* playbin = gst_element_factory_find("playbin");
    if (playbin == nullptr) {
        LogLine("no sound: GStreamer's playbin is missing (gstreamer1.0-plugins-base)");
        return false;
    }
    gst_object_unref(playbin);
    PreferFluidsynthForMidi();
    backendReady = true;
    return true;
}

std::unique_ptr<MediaPlayer> CreatePlayer(GstPlayerOptions options) {
    if (!backendReady) return std::make_unique<SilentPlayer>(options.nullMediaPath);
    return std::make_unique<GstPlayer>(std::move(options));
}

}  // namespace lingchao
