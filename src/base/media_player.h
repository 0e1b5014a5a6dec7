#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "base/sound_output.h"

namespace lingchao {

// The one player of the program (the clock's wmp1). All calls come from the thread it was made on (the bell's);
// others reach it through queued calls.
class MediaPlayer {
public:
    virtual ~MediaPlayer() = default;
    // Opens `path` (a sound file or an .m3u music list) and starts playing it at once, replacing whatever was
    // loaded. A path that cannot be played plays nothing; no error reaches the caller.
    virtual void SetFileName(const std::string& path) = 0;
    // The path last set, exactly as it was set ("" before the first).
    virtual std::string FileName() const = 0;
    // Plays the loaded medium, or resumes it after Pause; nothing when nothing playable is loaded.
    virtual void Play() = 0;
    // Halts at the current position; Play resumes there.
    virtual void Pause() = 0;
    // Ends playback; the medium stays loaded (FileName unchanged).
    virtual void Stop() = 0;
    // Called on the player's thread when the loaded medium has played to its end
    // (for a music list: after its last entry).
    virtual void SetEndOfStreamHandler(std::function<void()> handler) = 0;
    // Opens `path` ahead of its bell, paused and silent, so that a SetFileName of the same path soon after only
    // has to start it (a music list: its first playable entry). "" drops what was prepared; so do preparing
    // another path and setting another medium (releasing the medium does not). Nothing prepared is ever heard
    // unless it is set.
    virtual void Prepare(const std::string& /*path*/) {}
    // Has the prepared `path` begin to sound at `at` (soon: less than a second ahead), so that a SetFileName of it
    // then only takes over what plays already. Whatever drops what was prepared before `at` (Prepare, another
    // medium set, Stop) silences it; a path not prepared is not started.
    virtual void StartPreparedAt(const std::string& /*path*/, std::chrono::steady_clock::time_point /*at*/) {}
    // Called on the player's thread, never from within a call into the player, once for each medium started
    // (SetFileName, or Play from the beginning) within about 12 s: what reached the output. A player that cannot
    // tell never calls it.
    virtual void SetSoundProofHandler(std::function<void(const SoundProof&)> /*handler*/) {}
};

}  // namespace lingchao
