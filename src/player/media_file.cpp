#include "player/media_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "music/media_path.h"

namespace lingchao {
namespace {

MediaFile CheckNow(const std::string& text, const std::filesystem::path& baseFolder) {
    MediaFile out;
    if (text.empty()) {
        out.problem = MediaFileProblem::NoPath;
        return out;
    }
    if (HasUriScheme(text)) {
        out.problem = MediaFileProblem::NotLocal;
        return out;
    }
    const ResolvedMediaPath where = ResolveMediaPath(text, baseFolder);
    if (where.path.empty()) {
        out.problem = where.problem == "is a folder" ? MediaFileProblem::NotRegular : MediaFileProblem::Missing;
        return out;
    }
    out.path = where.path;
    out.mended = where.mended;
    out.foundByName = where.foundByName;
    out.sameNames = where.sameNames;
    // O_NONBLOCK: a FIFO without a writer (or a device) would keep a plain open waiting for good.
    const int fd = ::open(where.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        out.problem = error == ENOENT || error == ENOTDIR ? MediaFileProblem::Missing
                      : error == EACCES || error == EPERM ? MediaFileProblem::NoPermission
                      : error == ENXIO || error == ENODEV ? MediaFileProblem::NotRegular
                                                          : MediaFileProblem::Unreadable;
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        out.problem = MediaFileProblem::Unreadable;
    } else if (!S_ISREG(st.st_mode)) {
        out.problem = MediaFileProblem::NotRegular;
    } else {
        out.size = static_cast<std::uint64_t>(st.st_size);
        out.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (out.size == 0) out.problem = MediaFileProblem::Empty;
    }
    ::close(fd);
    return out;
}

// Folders where a check has not come back: the next checks there do not wait again. Never destroyed: a thread
// stuck on a dead share may still reach them while the program ends.
struct Hanging {
    std::mutex mutex;
    std::set<std::string> folders;
};
Hanging& hanging = *new Hanging;

std::string FolderKey(const std::string& text, const std::filesystem::path& baseFolder) {
    std::filesystem::path path(text);
    if (path.is_relative() && !baseFolder.empty()) path = baseFolder / path;
    return path.parent_path().string();
}

}  // namespace

MediaFile CheckMediaFile(const std::string& text, const std::filesystem::path& baseFolder,
                         std::chrono::milliseconds timeout) {
    if (text.empty() || HasUriScheme(text)) return CheckNow(text, baseFolder);
    return CheckWithin(
        FolderKey(text, baseFolder), [text, baseFolder] { return CheckNow(text, baseFolder); }, timeout);
}

MediaFile CheckWithin(const std::string& folder, std::function<MediaFile()> check, std::chrono::milliseconds timeout) {
    {
        std::lock_guard lock(hanging.mutex);
        if (hanging.folders.count(folder) != 0) return {{}, false, MediaFileProblem::NotAnswering};
    }
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool abandoned = false;  // the caller stopped waiting and marked the folder
        MediaFile result;
    };
    auto shared = std::make_shared<Shared>();
    // Detached: a thread stuck in the kernel on a dead share cannot be joined; it ends when the share answers.
    // Locks are taken in one order (the folders, then this check's) by both sides.
    std::thread([shared, check = std::move(check), folder] {
        MediaFile result = check();
        std::lock_guard hangingLock(hanging.mutex);
        std::lock_guard lock(shared->mutex);
        if (shared->abandoned) hanging.folders.erase(folder);
        shared->result = std::move(result);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    {
        std::unique_lock lock(shared->mutex);
        if (shared->done.wait_for(lock, timeout, [&] { return shared->finished; })) return shared->result;
    }
    std::lock_guard hangingLock(hanging.mutex);
    std::lock_guard lock(shared->mutex);
    if (shared->finished) return shared->result;
    shared->abandoned = true;
    hanging.folders.insert(folder);
    return {{}, false, MediaFileProblem::NotAnswering};
}

std::vector<MediaFile> CheckMediaFilesUntilGood(const std::vector<std::string>& texts, std::size_t from, std::size_t to,
                                                const std::filesystem::path& baseFolder,
                                                std::chrono::milliseconds timeout) {
    to = std::min(to, texts.size());
    std::vector<MediaFile> out;
    while (from + out.size() < to) {
        struct Shared {
            std::mutex mutex;
            std::condition_variable progress;
            std::vector<MediaFile> results;
            std::string checking;  // the folder of the check under way
            bool finished = false;
            bool abandoned = false;  // the caller stopped waiting and marked `checking`
        };
        auto shared = std::make_shared<Shared>();
        std::vector<std::string> batch(texts.begin() + static_cast<std::ptrdiff_t>(from + out.size()),
                                       texts.begin() + static_cast<std::ptrdiff_t>(to));
        // Detached, as in CheckWithin: a thread stuck on a dead share cannot be joined.
        std::thread([shared, batch = std::move(batch), baseFolder] {
            for (const std::string& text : batch) {
                const bool local = !text.empty() && !HasUriScheme(text);
                const std::string folder = local ? FolderKey(text, baseFolder) : std::string();
                MediaFile result;
                bool run = true;
                {
                    std::lock_guard hangingLock(hanging.mutex);
                    std::lock_guard lock(shared->mutex);
                    if (shared->abandoned) return;
                    shared->checking = folder;
                    if (local && hanging.folders.count(folder) != 0) {
                        result.problem = MediaFileProblem::NotAnswering;
                        run = false;
                    }
                }
                if (run) result = CheckNow(text, baseFolder);
                std::lock_guard hangingLock(hanging.mutex);
                std::lock_guard lock(shared->mutex);
                if (shared->abandoned) {
                    // Only the check that hung frees its folder; one that was told NotAnswering did not hang.
                    if (run) hanging.folders.erase(folder);
                    return;
                }
                const bool good = result.problem == MediaFileProblem::None;
                shared->results.push_back(std::move(result));
                shared->progress.notify_all();
                if (good) break;
            }
            std::lock_guard lock(shared->mutex);
            shared->finished = true;
            shared->progress.notify_all();
        }).detach();
        bool stuck = false;
        {
            std::unique_lock lock(shared->mutex);
            // Waits only while checks keep answering: the timeout is per check, not for the whole run.
            for (std::size_t seen = 0; !shared->finished;) {
                if (!shared->progress.wait_for(lock, timeout,
                                               [&] { return shared->finished || shared->results.size() != seen; })) {
                    stuck = true;
                    break;
                }
                seen = shared->results.size();
            }
        }
        if (stuck) {
            std::lock_guard hangingLock(hanging.mutex);
            std::lock_guard lock(shared->mutex);
            if (!shared->finished && !shared->abandoned) {
                shared->abandoned = true;
                hanging.folders.insert(shared->checking);
            }
        }
        std::lock_guard lock(shared->mutex);
        for (MediaFile& result : shared->results) out.push_back(std::move(result));
        if (!out.empty() && out.back().problem == MediaFileProblem::None) break;
        if (stuck && !shared->finished) out.push_back({{}, false, MediaFileProblem::NotAnswering});
        if (!stuck) break;
    }
    return out;
}

std::string MediaProblemText(MediaFileProblem problem) {
    switch (problem) {
        case MediaFileProblem::None:
            return {};
        case MediaFileProblem::NoPath:
            return "没有设置音乐";
        case MediaFileProblem::NotLocal:
            return "不是本机文件";
        case MediaFileProblem::Missing:
            return "文件不存在";
        case MediaFileProblem::NotRegular:
            return "不是普通文件";
        case MediaFileProblem::NoPermission:
            return "没有读取权限";
        case MediaFileProblem::Unreadable:
        case MediaFileProblem::NotAnswering:
            return "无法读取";
        case MediaFileProblem::Empty:
            return "文件是空的";
    }
    return "无法读取";
}

std::string MediaProblemLogText(MediaFileProblem problem) {
    switch (problem) {
        case MediaFileProblem::None:
            return {};
        case MediaFileProblem::NoPath:
            return "empty path";
        case MediaFileProblem::NotLocal:
            return "not a local file path";
        case MediaFileProblem::Missing:
            return "no such file";
        case MediaFileProblem::NotRegular:
            return "not a regular file";
        case MediaFileProblem::NoPermission:
            return "no permission to read it";
        case MediaFileProblem::Unreadable:
            return "cannot be read";
        case MediaFileProblem::NotAnswering:
            return "cannot be read: its folder does not answer";
        case MediaFileProblem::Empty:
            return "empty file";
    }
    return "cannot be read";
}

}  // namespace lingchao
