#pragma once

#include <chrono>
#include <functional>
#include <limits>
#include <optional>
#include <string>

namespace lingchao {

// What the sound server says of the output the bells go to (its default sink).
struct SoundOutputState {
    bool server = false;      // a sound server answered
    std::string sinkName;     // the default sink; "" when there is none
    std::string description;  // the sink's name for people
    bool muted = false;
    int volumePercent = 0;         // its loudest channel, in percent of normal volume
    bool portUnavailable = false;  // its active port says nothing is plugged in
};

// Below this volume a bell is hardly heard in a classroom.
constexpr int kLowVolumePercent = 10;

// The clock's warning: "" when a bell can be heard, else "没有声音输出", "音箱未连接", "声音已静音" or
// "音量过低：5%" (more than one joined by "；").
std::string SoundOutputWarning(const SoundOutputState& state);
// For the bell log and the log: "cap 100%", "alsa_output.pci-0000_00_1f.3.analog-stereo 40% muted"; "" without a
// sink.
std::string SoundOutputText(const SoundOutputState& state);

// What the player saw of one medium it started: did its sound reach a real output, when, and how loud.
struct SoundProof {
    using Time = std::chrono::steady_clock::time_point;
    std::string fileName;                                        // the medium, as it was set
    Time requested;                                              // when playing it was asked for
    std::optional<Time> soundStart;                              // when its first buffer reached the output, playing
    double peakDbfs = -std::numeric_limits<double>::infinity();  // over what was played of its first 10 s
    double measuredSeconds = 0;                                  // how much of it the peak covers
    std::string output;       // what took the sound: the sound server's sink name, or the element's
    bool realOutput = false;  // a sound server or sound card, not a stand-in that discards the sound
    std::string problem;      // why it could not be played at all; "" when it could
};

// A bell is not heard when its sound takes longer than this to reach the output...
constexpr std::chrono::milliseconds kSoundDeadline{2000};
// ...or when its loudest sample stays under this.
constexpr double kSilentPeakDbfs = -50.0;

// Why nobody heard the medium of `proof`: it did not play, it went to no real output, it reached the output late
// or never, it stayed under -50 dBFS, or the output (when known) was muted or at 0 %.
struct Silence {
    std::string reason;  // for the bell log, "" when somebody could hear it
    std::string text;    // for the clock's warning, in Chinese
};
Silence JudgeSilence(const SoundProof& proof, const SoundOutputState* output,
                     std::chrono::milliseconds deadline = kSoundDeadline);

// Reads the state of the sound output for the warning mark. The program never changes volume or mute itself.
class SoundOutputMonitor {
public:
    virtual ~SoundOutputMonitor() = default;
    // Starts a reading and returns at once; the listener hears the result later on the caller's thread.
    virtual void Check() = 0;
    // Called with each reading, and with each change the sound server reports by itself.
    virtual void SetListener(std::function<void(const SoundOutputState&)> listener) = 0;
};

}  // namespace lingchao
