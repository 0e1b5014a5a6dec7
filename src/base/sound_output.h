#pragma once

#include <functional>
#include <string>

namespace lingchao {

// What the sound server says of the output the bells go to (its default sink).
struct SoundOutputState {
    bool server = false;           // a sound server answered
    std::string sinkName;          // the default sink; "" when there is none
    std::string description;       // the sink's name for people
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
