#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace lingchao {

// What opening a stored music path for playing would meet.
enum class MediaFileProblem {
    None,
    NoPath,        // empty text
    NotLocal,      // a URI ("http://…", "file://…"): stored paths are never opened as URIs
    Missing,       // no such file
    NotRegular,    // a folder, a FIFO, a device or a socket: never handed to the player
    NoPermission,  // the user may not read it
    Unreadable,    // any other error
    NotAnswering,  // the filesystem did not answer in time (a network share that went away)
    Empty,         // a regular file of 0 bytes
};

struct MediaFile {
    std::string path;     // the local file found (also for Empty); empty when none was
    bool mended = false;  // found only after turning '\' into '/'
    MediaFileProblem problem = MediaFileProblem::None;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since the epoch, to tell a changed file
    bool foundByName = false;   // found only by its name in the music folder (see ResolveMediaPath)
    int sameNames = 0;          // with foundByName: how many files of the music folder have that name
};

// How long a check may wait for the filesystem before it says NotAnswering.
inline constexpr std::chrono::milliseconds kMediaCheckTimeout{2000};

// Resolves a stored path as ResolveMediaPath does, then opens it without waiting (O_NONBLOCK) and checks it is a
// regular, readable file. All of it runs on a thread of its own: a share that stops answering costs the caller
// at most `timeout`, and while one check in a folder hangs, the next ones in that folder answer NotAnswering at
// once. Safe to call from any thread.
MediaFile CheckMediaFile(const std::string& text, const std::filesystem::path& baseFolder = {},
                         std::chrono::milliseconds timeout = kMediaCheckTimeout);

// The bounded wait behind CheckMediaFile: runs `check` (of a path in `folder`) on a thread of its own and waits
// for it at most `timeout`; NotAnswering when it did not end in time, and at once while an earlier check in
// `folder` has not ended.
MediaFile CheckWithin(const std::string& folder, std::function<MediaFile()> check, std::chrono::milliseconds timeout);

// Checks texts[from], texts[from + 1], … as CheckMediaFile does, up to `to` or the first one without a problem,
// and returns their results in order (the last is the good one, if any was). All on one thread: a list of ten
// thousand missing files costs one handoff, not ten thousand, which on a busy machine is seconds. `timeout` is
// how long one check may go without answering: that one is NotAnswering, and so are later ones in its folder.
std::vector<MediaFile> CheckMediaFilesUntilGood(const std::vector<std::string>& texts, std::size_t from, std::size_t to,
                                                const std::filesystem::path& baseFolder = {},
                                                std::chrono::milliseconds timeout = kMediaCheckTimeout);

// The reason for the clock's warning, in Chinese ("文件不存在", "不是普通文件", "无法读取", ...); "" for None.
std::string MediaProblemText(MediaFileProblem problem);
// The same for the log and the bell log, in English ("no such file", "not a regular file", ...).
std::string MediaProblemLogText(MediaFileProblem problem);

}  // namespace lingchao
