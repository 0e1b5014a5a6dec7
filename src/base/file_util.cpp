#include "base/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::optional<Bytes> ReadFileBytes(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok()) return std::nullopt;
    Bytes out;
    std::uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::size_t length) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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

std::optional<std::uint64_t> FileLength(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool EnsureFileExists(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    return fd.ok();
}

std::filesystem::path ScratchPathFor(const std::filesystem::path& target) {
    auto scratch = target;
    scratch.replace_filename("." + target.filename().string() + ".new");
    return scratch;
}

bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content,
                           const std::filesystem::path& scratch) {
    Fd fd(::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.ok()) {
        LogLine("cannot write " + scratch.string() + ": " + std::strerror(errno));
        return false;
    }
    if (!WriteAll(fd.get(), content.data(), content.size()) || ::fsync(fd.get()) != 0) {
        LogLine("cannot write " + scratch.string() + ": " + std::strerror(errno));
        ::close(fd.release());
        ::unlink(scratch.c_str());
        return false;
    }
    ::close(fd.release());
    if (::rename(scratch.c_str(), target.c_str()) != 0) {
        LogLine("cannot replace " + target.string() + ": " + std::strerror(errno));
        ::unlink(scratch.c_str());
        return false;
    }
    SyncFolderOf(target);
    return true;
}

bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content) {
    return ReplaceFileAtomically(target, content, ScratchPathFor(target));
}

bool CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to, bool overwrite) {
    const auto content = ReadFileBytes(from);
    if (!content) return false;
    if (!overwrite) {
        // O_EXCL makes "fails when the target exists" exact; the content then goes in through the scratch file.
        Fd probe(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!probe.ok()) return false;
        if (!ReplaceFileAtomically(to, *content)) {
            ::unlink(to.c_str());
            return false;
        }
        return true;
    }
    return ReplaceFileAtomically(to, *content);
}

}  // namespace lingchao
