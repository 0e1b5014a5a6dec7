#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lingchao {

// The default output's volume and mute as the user had them, to be put back after an emergency signal.
struct SavedVolume {
    std::string sink;                     // the server's name of the default sink
    std::vector<std::uint32_t> channels;  // each channel's volume (the server's scale, 65536 = 100 %)
    bool muted = false;
    bool operator==(const SavedVolume&) const = default;
};

// "sink=…\nchannels=65536,65536\nmuted=0\n" and back: kept in a file while the volume is raised, so that a
// program that dies mid-signal puts the user's volume back at its next start. nullopt for anything else.
std::string EncodeSavedVolume(const SavedVolume& saved);
std::optional<SavedVolume> DecodeSavedVolume(const std::string& text);

// Raises the default output for an emergency signal and puts it back. Called on one thread (the bell's); each
// answer comes later on that thread, never from within the call. A missing server is an answer with a reason.
class OutputVolumeControl {
public:
    virtual ~OutputVolumeControl() = default;
    // Reads the default sink's volume and mute, then unmutes it and sets every channel to 100 %. `noteBefore` gets
    // what was read before anything changes, on whatever thread reads it, and the raise waits for it: a program
    // killed between the raise and its answer has still kept the user's volume. `done` gets what was there before
    // (to restore), or nullopt and why not (Chinese, for the clock).
    virtual void RaiseToFull(std::function<void(const SavedVolume& before)> noteBefore,
                             std::function<void(std::optional<SavedVolume> before, std::string why)> done) = 0;
    // Puts `saved` back on its sink (not on whatever is the default now). `done` gets "" or why not.
    virtual void Restore(const SavedVolume& saved, std::function<void(std::string why)> done) = 0;
};

}  // namespace lingchao
