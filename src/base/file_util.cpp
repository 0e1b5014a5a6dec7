#include "base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/log.h"

namespace lingchao {
namespace {

class Fd final {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// O_NONBLOCK: opening a FIFO without a writer, or some devices, would otherwise wait for good.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolderOf(const std::filesystem::path& path) {
    const auto parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    Fd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.ok()) ::fsync(dir.get());
}

ReadProblem ProblemOfOpen(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ReadProblem::Missing;
        case EACCES:
        case EPERM:
            return ReadProblem::NoPermission;
        case ENXIO:  // a socket, or a device without its hardware
        case ENODEV:
            return ReadProblem::NotRegular;
        default:
            return ReadProblem::Unreadable;
    }
}

// Opens a regular file for reading; -1 with `problem` set otherwise.
int OpenRegular(const std::filesystem::path& path, ReadProblem& problem, int& error, struct stat& st) {
    const int fd = ::open(path.c_str(), kReadFlags);
    if (fd < 0) {
        error = errno;
        problem = ProblemOfOpen(error);
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        error = errno;
        problem = ReadProblem::Unreadable;
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = ReadProblem::NotRegular;
        ::close(fd);
        return -1;
    }
    return fd;
}

// Creates `scratch` exclusively: never through a planted link, never into another file. A stale entry of that
// name (a crash's leftover, or something planted) is removed once; a folder is left alone and fails the write.
int OpenScratch(const std::filesystem::path& scratch) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
        struct stat st {};
        if (::lstat(scratch.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return -1;
        }
        if (::unlink(scratch.c_str()) != 0 && errno != ENOENT) return -1;
    }
    errno = EEXIST;
    return -1;
}

void SetFailure(std::string* failure, const std::filesystem::path& target, int error) {
    if (failure != nullptr) *failure = "无法写入 " + target.string() + "：" + WriteErrorText(error);
}

}  // namespace

StoredFile ReadStoredFile(const std::filesystem::path& path, std::uint64_t cap) {
    StoredFile out;
    struct stat st {};
    Fd fd(OpenRegular(path, out.problem, out.error, st));
    if (!fd.ok()) return out;
    // The size is only a hint: the file may grow while it is read, the cap is what bounds the memory.
    const std::uint64_t limit = cap == UINT64_MAX ? cap : cap + 1;
    out.bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), limit)));
    std::uint8_t buf[65536];
    while (out.bytes.size() < limit) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, limit - out.bytes.size()));
        const ssize_t n = ::read(fd.get(), buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.error = errno;
            out.problem = ReadProblem::Unreadable;
            out.bytes.clear();
            return out;
        }
        if (n == 0) break;
        out.bytes.insert(out.bytes.end(), buf, buf + n);
    }
    if (out.bytes.size() > cap) {
        out.bytes.resize(static_cast<std::size_t>(cap));
        out.problem = ReadProblem::TooLarge;
    }
    return out;
}

std::string ReadProblemText(ReadProblem problem) {
    switch (problem) {
        case ReadProblem::None:
            return {};
        case ReadProblem::Missing:
            return "文件不存在";
        case ReadProblem::NotRegular:
            return "不是普通文件";
        case ReadProblem::NoPermission:
            return "没有读取权限";
        case ReadProblem::Unreadable:
            return "无法读取";
        case ReadProblem::TooLarge:
            return "文件过大";
    }
    return "无法读取";
}

std::string WriteErrorText(int error) {
    switch (error) {
        case ENOSPC:
            return "磁盘已满";
        case EDQUOT:
            return "超出磁盘配额";
        case EROFS:
            return "文件夹只读";
        case EACCES:
        case EPERM:
            return "没有写入权限";
        case EIO:
            return "磁盘读写错误";
        case EISDIR:
            return "同名的文件夹挡住了写入";
        default:
            return std::strerror(error);
    }
}

std::optional<Bytes> ReadFileBytes(const std::filesystem::path& path, std::uint64_t cap) {
    StoredFile file = ReadStoredFile(path, cap);
    if (!file.whole()) return std::nullopt;
    return std::move(file.bytes);
}

std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::size_t length) {
    ReadProblem problem = ReadProblem::None;
    int error = 0;
    struct stat st {};
    Fd fd(OpenRegular(path, problem, error, st));
    if (!fd.ok()) return std::nullopt;
    Bytes out(length);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd.get(), out.data() + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
}

std::string FileStamp(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "missing";
    // The change time as well: a chmod that makes the file readable again counts too.
    return std::to_string(st.st_size) + "/" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + "/" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec) + "/" + std::to_string(st.st_ino) + "/" + std::to_string(st.st_mode);
}

std::optional<std::uint64_t> FileLength(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool EnsureFileExists(const std::filesystem::path& path) {
    // O_EXCL neither follows a link nor opens what is there (a FIFO would block a plain open for writing).
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    return fd.ok() || errno == EEXIST;
}

bool MakeEmptyRegularFile(const std::filesystem::path& path) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags, 0644);
    if (fd < 0 && errno == ELOOP) {
        if (::unlink(path.c_str()) != 0) return false;
        fd = ::open(path.c_str(), kFlags | O_EXCL, 0644);
    }
    if (fd < 0) return false;
    Fd file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

std::filesystem::path ScratchPathFor(const std::filesystem::path& target) {
    auto scratch = target;
    scratch.replace_filename("." + target.filename().string() + ".new");
    return scratch;
}

bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content,
                           const std::filesystem::path& scratch, std::string* failure) {
    Fd fd(OpenScratch(scratch));
    if (!fd.ok()) {
        const int error = errno;
        LogLine("cannot write " + scratch.string() + ": " + std::strerror(error));
        SetFailure(failure, target, error);
        return false;
    }
    if (!WriteAll(fd.get(), content.data(), content.size()) || ::fsync(fd.get()) != 0) {
        const int error = errno;
        LogLine("cannot write " + scratch.string() + ": " + std::strerror(error));
        SetFailure(failure, target, error);
        ::close(fd.release());
        ::unlink(scratch.c_str());
        return false;
    }
    ::close(fd.release());
    if (::rename(scratch.c_str(), target.c_str()) != 0) {
        const int error = errno;
        LogLine("cannot replace " + target.string() + ": " + std::strerror(error));
        SetFailure(failure, target, error);
        ::unlink(scratch.c_str());
        return false;
    }
    SyncFolderOf(target);
    return true;
}

bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content, std::string* failure) {
    return ReplaceFileAtomically(target, content, ScratchPathFor(target), failure);
}

bool CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to, bool overwrite,
                   std::uint64_t cap, std::string* failure) {
    const StoredFile content = ReadStoredFile(from, cap);
    if (!content.whole()) {
        if (failure != nullptr) *failure = "无法读取 " + from.string() + "：" + ReadProblemText(content.problem);
        return false;
    }
    if (!overwrite) {
        // O_EXCL makes "fails when the target exists" exact; the content then goes in through the scratch file.
        Fd probe(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!probe.ok()) {
            SetFailure(failure, to, errno);
            return false;
        }
        if (!ReplaceFileAtomically(to, content.bytes, failure)) {
            ::unlink(to.c_str());
            return false;
        }
        return true;
    }
    return ReplaceFileAtomically(to, content.bytes, failure);
}

int OpenRegularForAppend(const std::filesystem::path& path, std::uint64_t* size) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

}  // namespace lingchao
