#include "platform/instance_guard.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

FileInstanceGuard::FileInstanceGuard(std::filesystem::path path) : path_(std::move(path)) {}

FileInstanceGuard::~FileInstanceGuard() { Release(); }

GuardResult FileInstanceGuard::Acquire() {
    if (fd_ >= 0) return {GuardOutcome::Acquired, {}};
    const std::filesystem::path folder = path_.has_parent_path() ? path_.parent_path() : ".";
    if (std::string problem = PrivateFolderProblem(folder); !problem.empty()) {
        return {GuardOutcome::Unavailable, problem + " (guard file " + path_.string() + ")"};
    }
    // O_NOFOLLOW, O_NONBLOCK: no link is followed, and a FIFO put in its place cannot make the start wait.
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) return {GuardOutcome::Unavailable, Describe("cannot open guard file", path_, errno)};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return {GuardOutcome::Unavailable, "the guard file " + path_.string() + " is not a regular file of the user's"};
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return {GuardOutcome::HeldByAnother, {}};
        return {GuardOutcome::Unavailable, Describe("cannot lock guard file", path_, error)};
    }
    fd_ = fd;
    return {GuardOutcome::Acquired, {}};
}

void FileInstanceGuard::Release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing drops the lock; the empty file stays for the next start
    fd_ = -1;
}

GuardResult FileInstanceGuard::Reacquire() { return Acquire(); }

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

}  // namespace lingchao
