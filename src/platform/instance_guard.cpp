#include "platform/instance_guard.h"

#include <fcntl.h>
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

bool IsUsableFolder(const char* value) {
    if (value == nullptr || *value != '/') return false;
    struct stat st {};
    return ::stat(value, &st) == 0 && S_ISDIR(st.st_mode) && ::access(value, W_OK) == 0;
}

}  // namespace

FileInstanceGuard::FileInstanceGuard(std::filesystem::path path) : path_(std::move(path)) {}

FileInstanceGuard::~FileInstanceGuard() { Release(); }

GuardResult FileInstanceGuard::Acquire() {
    if (fd_ >= 0) return {GuardOutcome::Acquired, {}};
    // O_NOFOLLOW: the fallback folder is /tmp, where another user could plant a link.
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return {GuardOutcome::Unavailable, Describe("cannot open guard file", path_, errno)};
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

std::filesystem::path DefaultGuardPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (IsUsableFolder(runtime)) return std::filesystem::path(runtime) / "lingchao.lock";
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') {
        const std::filesystem::path folder = std::filesystem::path(home) / ".cache" / "lingchao";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (!ec && IsUsableFolder(folder.c_str())) return folder / "lingchao.lock";
    }
    return std::filesystem::path("/tmp") / ("lingchao-" + std::to_string(::getuid()) + ".lock");
}

}  // namespace lingchao
