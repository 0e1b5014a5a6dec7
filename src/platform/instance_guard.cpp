#include "platform/instance_guard.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace lingchao {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path, int error) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(error);
}

// A folder only this user can change: a real folder (not a link), owned by the user, not writable by others.
std::string PrivateFolderProblem(const std::filesystem::path& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return Describe("cannot use the guard folder", folder, errno);
    if (!S_ISDIR(st.st_mode)) return "the guard folder " + folder.string() + " is not a folder";
    if (st.st_uid != ::geteuid()) {
        return "the guard folder " + folder.string() + " belongs to another user (uid " + std::to_string(st.st_uid) +
               ")";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "the guard folder " + folder.string() + " can be written by other users";
    }
    return {};
}

// The folder, made 0700 when missing; "" unless it is then private.
std::filesystem::path PrivateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    return PrivateFolderProblem(folder).empty() ? folder : std::filesystem::path();
}

bool Absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

// O_NOFOLLOW, O_NONBLOCK: no link is followed, and a FIFO put in the guard file's place cannot make the start wait.
constexpr int kGuardOpen = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

// Locks the open guard file without waiting; on success `held` keeps the descriptor, else it is closed.
GuardResult LockInto(int fd, const std::filesystem::path& path, int& held) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return {GuardOutcome::HeldByAnother, {}};
        return {GuardOutcome::Unavailable, Describe("cannot lock guard file", path, error)};
    }
    held = fd;
    return {GuardOutcome::Acquired, {}};
}

}  // namespace

FileInstanceGuard::FileInstanceGuard(std::filesystem::path path) : path_(std::move(path)) {}

FileInstanceGuard::~FileInstanceGuard() { Release(); }

GuardResult FileInstanceGuard::Acquire() {
    if (fd_ >= 0) return {GuardOutcome::Acquired, {}};
    const std::filesystem::path folder = path_.has_parent_path() ? path_.parent_path() : ".";
    if (std::string problem = PrivateFolderProblem(folder); !problem.empty()) {
        return {GuardOutcome::Unavailable, problem + " (guard file " + path_.string() + ")"};
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | kGuardOpen, 0600);
    if (fd < 0) return {GuardOutcome::Unavailable, Describe("cannot open guard file", path_, errno)};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return {GuardOutcome::Unavailable, "the guard file " + path_.string() + " is not a regular file of the user's"};
    }
    return LockInto(fd, path_, fd_);
}

void FileInstanceGuard::Release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing drops the lock; the empty file stays for the next start
    fd_ = -1;
}

GuardResult FileInstanceGuard::Reacquire() { return Acquire(); }

FolderInstanceGuard::FolderInstanceGuard(std::filesystem::path path) : path_(std::move(path)) {}

FolderInstanceGuard::~FolderInstanceGuard() { Release(); }

GuardResult FolderInstanceGuard::Acquire() {
    if (fd_ >= 0) return {GuardOutcome::Acquired, {}};
    // Made exclusively, so that only a file this copy made gets its mode: readable by every user's copy whatever
    // the umask. One made by another user keeps its owner and mode.
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | kGuardOpen, 0644);
    if (fd >= 0) {
        (void)::fchmod(fd, 0644);  // without it the umask's mode still guards this user's copies
    } else {
        const int createError = errno;
        fd = ::open(path_.c_str(), O_RDWR | kGuardOpen);
        // Another user's file, or a read-only folder: flock() needs no write access.
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            fd = ::open(path_.c_str(), O_RDONLY | kGuardOpen);
        }
        if (fd < 0) {
            const int error = errno == ENOENT && createError != EEXIST ? createError : errno;
            return {GuardOutcome::Unavailable, Describe("cannot make or open guard file", path_, error)};
        }
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {GuardOutcome::Unavailable, "the guard file " + path_.string() + " is not a regular file"};
    }
    return LockInto(fd, path_, fd_);
}

void FolderInstanceGuard::Release() {
    if (fd_ < 0) return;
    ::close(fd_);  // the file stays: removing it could let a copy lock a new file while another holds the old
    fd_ = -1;
}

GuardResult FolderInstanceGuard::Reacquire() { return Acquire(); }

CompositeInstanceGuard::CompositeInstanceGuard(std::vector<std::unique_ptr<InstanceGuard>> parts)
    : parts_(std::move(parts)) {}

GuardResult CompositeInstanceGuard::Take(bool again) {
    GuardResult result{GuardOutcome::Acquired, {}};
    for (const auto& part : parts_) {
        const GuardResult taken = again ? part->Reacquire() : part->Acquire();
        if (taken.outcome == GuardOutcome::HeldByAnother) {
            Release();  // the other copy runs: this one keeps nothing that would shut out a later start
            return taken;
        }
        if (taken.outcome == GuardOutcome::Unavailable) {
            result.outcome = GuardOutcome::Unavailable;
            result.reason += (result.reason.empty() ? "" : "; ") + taken.reason;
        }
    }
    return result;
}

GuardResult CompositeInstanceGuard::Acquire() { return Take(false); }

GuardResult CompositeInstanceGuard::Reacquire() { return Take(true); }

void CompositeInstanceGuard::Release() {
    for (const auto& part : parts_) part->Release();
}

bool CompositeInstanceGuard::IsHeld() const {
    return std::any_of(parts_.begin(), parts_.end(), [](const auto& part) { return part->IsHeld(); });
}

std::filesystem::path GuardPathIn(const GuardPlaces& places) {
    if (Absolute(places.runtimeDir) && PrivateFolderProblem(places.runtimeDir).empty()) {
        return std::filesystem::path(places.runtimeDir) / "lingchao.lock";
    }
    std::filesystem::path cache;
    if (Absolute(places.cacheHome)) {
        cache = places.cacheHome;
    } else if (Absolute(places.home)) {
        cache = std::filesystem::path(places.home) / ".cache";
    }
    if (!cache.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(cache, ec);
        if (const auto folder = PrivateFolder(cache / "lingchao"); !folder.empty()) return folder / "lingchao.lock";
    }
    // A folder of the user's own even here: a file directly in /tmp could be made and held by anyone. When
    // another user took the name first, the guard there is Unavailable, never theirs.
    const auto folder = places.tmp / ("lingchao-" + std::to_string(::geteuid()));
    ::mkdir(folder.c_str(), 0700);
    return folder / "lingchao.lock";
}

std::filesystem::path DefaultGuardPath() {
    GuardPlaces places;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    places.runtimeDir = runtime != nullptr ? runtime : "";
    places.cacheHome = cache != nullptr ? cache : "";
    places.home = home != nullptr ? home : "";
    if (!Absolute(places.home)) {
        if (const passwd* account = ::getpwuid(::geteuid()); account != nullptr && account->pw_dir != nullptr) {
            places.home = account->pw_dir;
        }
    }
    return GuardPathIn(places);
}

std::filesystem::path AppFolderGuardPath(const std::filesystem::path& appFolder) { return appFolder / "lingchao.lock"; }

std::unique_ptr<InstanceGuard> MakeInstanceGuard(const std::filesystem::path& userGuard,
                                                 const std::filesystem::path& appFolder) {
    std::vector<std::unique_ptr<InstanceGuard>> parts;
    parts.push_back(std::make_unique<FileInstanceGuard>(userGuard));
    const std::filesystem::path folderGuard = AppFolderGuardPath(appFolder);
    // Two descriptors of one process conflict under flock(): one file must be locked once.
    std::error_code userError, folderError;
    const auto user = std::filesystem::weakly_canonical(userGuard, userError);
    const auto folder = std::filesystem::weakly_canonical(folderGuard, folderError);
    if (userError || folderError || user != folder) parts.push_back(std::make_unique<FolderInstanceGuard>(folderGuard));
    return std::make_unique<CompositeInstanceGuard>(std::move(parts));
}

std::unique_ptr<InstanceGuard> MakeInstanceGuard(const std::filesystem::path& appFolder) {
    return MakeInstanceGuard(DefaultGuardPath(), appFolder);
}

}  // namespace lingchao
