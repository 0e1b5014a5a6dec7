#include "base/sound_output.h"

#include <cmath>
#include <cstdio>

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

Silence JudgeSilence(const SoundProof& proof, const SoundOutputState* output, std::chrono::milliseconds deadline) {
    if (!proof.problem.empty()) return {"not played: " + proof.problem, "无法播放"};
    if (!proof.realOutput) {
        return {"no sound output: played into " + (proof.output.empty() ? std::string("nothing") : proof.output),
                "没有声音输出"};
    }
    if (!proof.soundStart) {
        return {"no sound reached the output within " + std::to_string(deadline.count() / 1000) + " s",
                "声音没有送到音箱"};
    }
    const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(*proof.soundStart - proof.requested);
    if (late > deadline) {
        return {"the sound reached the output only after " + std::to_string(late.count()) + " ms", "声音没有送到音箱"};
    }
    if (!(proof.peakDbfs >= kSilentPeakDbfs)) {
        char peak[32];
        std::snprintf(peak, sizeof peak, "%.1f", proof.peakDbfs);
        return {std::string("peak ") + (std::isfinite(proof.peakDbfs) ? peak : "-inf") + " dBFS is under -50 dBFS",
                "铃声几乎无声"};
    }
    if (output != nullptr && output->muted) return {"the output is muted", "声音已静音"};
    if (output != nullptr && output->volumePercent == 0) return {"the output's volume is 0%", "音量为0"};
    return {};
}

}  // namespace lingchao
