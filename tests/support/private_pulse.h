#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace lingchao::test {

// A private PulseAudio whose only sink is a null sink "cap" (44.1 kHz stereo), living in a temporary folder.
// While it lives, PULSE_SERVER points this process (and the tools it runs) at it. A silent stream keeps the
// sink running, or the start of a sound is lost while an idle null sink wakes; the sink never rewinds, or the
// monitor's recording would lose a new stream's first milliseconds. Everything it starts is stopped by its pid.
class PrivatePulse final {
public:
    PrivatePulse();
    ~PrivatePulse();
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;

    // "" when the server runs; else why not (pulseaudio missing, did not start): the test skips.
    const std::string& problem() const { return problem_; }
    // Runs `pactl ARGS` against the server; true on success.
    bool Pactl(const std::string& args) const;
    // Ends the server (a machine with no sound server); Start brings it back.
    void Stop();
    void Start();

    // Records the monitor of "cap" as raw S16LE stereo until StopRecording; returns the samples (left, right...).
    void StartRecording();
    std::vector<std::int16_t> StopRecording();
    // While recording: whether anything louder than -50 dBFS has been recorded yet.
    bool HeardSoFar() const;

    const std::filesystem::path& folder() const { return temp_.path(); }

private:
    pid_t Spawn(const std::vector<std::string>& argv, const std::string& stdinPath, const std::string& stdoutPath);
    static void End(pid_t& pid);

    TempFolder temp_;
    std::string socket_;
    std::string problem_;
    pid_t server_ = -1;
    pid_t keepAlive_ = -1;
    pid_t recorder_ = -1;
    std::string oldServer_;
    bool hadServer_ = false;
};

}  // namespace lingchao::test
