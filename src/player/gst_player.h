#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/media_player.h"

namespace lingchao {

struct GstPlayerOptions {
    // Loading this path releases the medium and plays nothing, silently.
    std::string nullMediaPath;
    // GStreamer bin description used as the audio output, e.g. "audioconvert ! wavenc ! filesink location=x".
    // "{n}" is replaced by the number of the item played (1, 2, …). Empty: the environment variable
    // LINGCHAO_AUDIO_SINK, else pulsesink when a sound server answers, else autoaudiosink.
    std::string audioSink;
    // Called on a streaming thread when the first audio buffer of each item reaches the output (measurements).
    std::function<void()> onFirstBuffer;
    // Called on the player's thread for each path that cannot be played, with the reason (the bell log's record).
    std::function<void(const std::string& path, const std::string& reason)> onFailure;
    // How long the first sound may take to reach the output before the medium counts as not heard.
    std::chrono::milliseconds soundDeadline = kSoundDeadline;
};

// MediaPlayer over GStreamer's playbin. Its bus is handled on the thread that created it, which must run a GLib
// main loop (Qt's default event dispatcher on Linux); without one, a Qt timer polls the bus instead.
// Needs InitPlayerBackend first.
class GstPlayer final : public MediaPlayer {
public:
    // Empty: nothing or the null media loaded. Idle: a medium loaded, stopped or ended. Playing, Paused: as named.
    // Error: the medium loaded cannot be played.
    enum class State { Empty, Idle, Playing, Paused, Error };

    explicit GstPlayer(GstPlayerOptions options = {});
    ~GstPlayer() override;
    GstPlayer(const GstPlayer&) = delete;
    GstPlayer& operator=(const GstPlayer&) = delete;

    void SetFileName(const std::string& path) override;
    std::string FileName() const override;
    // From Paused: resumes at the same place. From Idle (stopped or ended): starts the medium again from its
    // beginning (a list from its first entry, re-read). Otherwise nothing.
    void Play() override;
    void Pause() override;
    // Ends playback and closes the file; the medium stays loaded.
    void Stop() override;
    // Runs on the player's thread, once per medium (a list: after its last entry). It may set a new FileName;
    // it must not destroy the player.
    void SetEndOfStreamHandler(std::function<void()> handler) override;
    // The prepared medium waits in a second pipeline, opened and decoded up to its output but held in front of it
    // (the output opens nothing on the sound server), watched by nobody until it is set; releasing the medium
    // (the null media path) keeps it.
    void Prepare(const std::string& path) override;
    // The held medium is let through to its output now, its pipeline on the monotonic clock with the output's
    // first sample timed for `at`.
    void StartPreparedAt(const std::string& path, std::chrono::steady_clock::time_point at) override;
    // The sound starts when the first buffer has reached the output and the pipeline plays; the peak comes from
    // GStreamer's level element over the first 10 s (or less, when the medium ends or is stopped sooner).
    void SetSoundProofHandler(std::function<void(const SoundProof&)> handler) override;

    State state() const;
    // A medium is prepared, and has reached its output, where it waits.
    bool PreparedAndWaiting() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace lingchao
