#include "base/sound_output.h"

namespace lingchao {

std::string SoundOutputWarning(const SoundOutputState& state) {
    // PulseAudio's stand-in when no sound card is found: it takes the sound and nobody hears it.
    if (!state.server || state.sinkName.empty() || state.sinkName == "auto_null") return "没有声音输出";
    std::string text;
    const auto add = [&text](const std::string& reason) { text += (text.empty() ? "" : "；") + reason; };
    if (state.portUnavailable) add("音箱未连接");
    if (state.muted) add("声音已静音");
    if (state.volumePercent < kLowVolumePercent) add("音量过低：" + std::to_string(state.volumePercent) + "%");
    return text;
}

std::string SoundOutputText(const SoundOutputState& state) {
    if (!state.server || state.sinkName.empty()) return {};
    return state.sinkName + " " + std::to_string(state.volumePercent) + "%" + (state.muted ? " muted" : "");
}

}  // namespace lingchao
