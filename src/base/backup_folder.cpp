#include "base/backup_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace lingchao {
namespace {

namespace fs = std::filesystem;

void SyncFolder(const fs::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A relative path that stays inside the folder it is taken in.
bool Inside(const fs::path& relative) {
    if (relative.empty() || relative.is_absolute()) return false;
    for (const auto& part : relative) {
        if (part == "..") return false;
    }
    return true;
}

void Fail(std::string* failure, std::string why) {
    if (failure != nullptr) *failure = std::move(why);
}

// Writes through a scratch file beside `to`: `fill` streams into the open descriptor; then flush and rename.
template <class Fill>
bool WriteThroughScratch(const fs::path& to, Fill fill, std::string* failure) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (ec) {
        Fail(failure, "无法建立文件夹");
        return false;
    }
    const fs::path scratch = ScratchPathFor(to);
    if (!fs::is_directory(fs::symlink_status(scratch, ec))) fs::remove(scratch, ec);
    const int out = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
        Fail(failure, "无法写入：" + WriteErrorText(errno));
        return false;
    }
    std::string why;
    bool ok = fill(out, why);
    if (ok && ::fsync(out) != 0) {
        why = "无法写入：" + WriteErrorText(errno);
        ok = false;
    }
    ::close(out);
    if (ok && ::rename(scratch.c_str(), to.c_str()) != 0) {
        why = "无法写入：" + WriteErrorText(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(scratch.c_str());
        Fail(failure, why);
        return false;
    }
    SyncFolder(to.parent_path());
    return true;
}

}  // namespace

bool CopyFileWhole(const fs::path& from, const fs::path& to, bool followLink, std::string* failure) {
    const int in = ::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (in >= 0) ::close(in);
        Fail(failure, "无法读取");
        return false;
    }
    const bool ok = WriteThroughScratch(
        to,
        [in](int out, std::string& why) {
            std::vector<char> buffer(1 << 16);
            for (;;) {
                const ssize_t n = ::read(in, buffer.data(), buffer.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    why = "无法读取";
                    return false;
                }
                if (n == 0) return true;
                if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
                    why = "无法写入：" + WriteErrorText(errno);
                    return false;
                }
            }
        },
        failure);
    ::close(in);
    return ok;
}

bool SameFileBytes(const fs::path& a, const fs::path& b) {
    const int x = ::open(a.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const int y = ::open(b.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat sx {};
    struct stat sy {};
    bool same = x >= 0 && y >= 0 && ::fstat(x, &sx) == 0 && ::fstat(y, &sy) == 0 && S_ISREG(sx.st_mode) &&
                S_ISREG(sy.st_mode) && sx.st_size == sy.st_size;
    std::vector<char> bx(1 << 16);
    std::vector<char> by(1 << 16);
    while (same) {
        const ssize_t n = ::read(x, bx.data(), bx.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            same = n == 0;
            break;
        }
        // The second file is read to the same length; a short read there is read on.
        ssize_t got = 0;
        while (got < n) {
            const ssize_t m = ::read(y, by.data() + got, static_cast<std::size_t>(n - got));
            if (m < 0 && errno == EINTR) continue;
            if (m <= 0) break;
            got += m;
        }
        same = got == n && std::equal(bx.begin(), bx.begin() + n, by.begin());
    }
    if (x >= 0) ::close(x);
    if (y >= 0) ::close(y);
    return same;
}

std::string BackupStamp(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H%M%S", &local);
    return text;
}

BackupFolder::BackupFolder(fs::path appFolder, std::string why, std::time_t when)
    : appFolder_(std::move(appFolder)), why_(std::move(why)), when_(when) {}

std::string BackupFolder::Name() const {
    return path_.empty() ? std::string() : (fs::path(kBackupFolder) / path_.filename()).generic_string();
}

bool BackupFolder::Make(std::string* failure) {
    if (Made()) return true;
    if (appFolder_.empty()) {
        Fail(failure, "无法建立备份文件夹：不知道程序文件夹在哪里");
        return false;
    }
    const fs::path root = appFolder_ / kBackupFolder;
    if (::mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
        Fail(failure, "无法建立备份文件夹 " + std::string(kBackupFolder) + "：" + WriteErrorText(errno));
        return false;
    }
    const std::string base = BackupStamp(when_) + " " + why_;
    // mkdir either makes the folder or finds it taken: two backups never share one, even when made at once.
    for (int n = 1; n < 1000; ++n) {
        const fs::path folder = root / (n == 1 ? base : base + " (" + std::to_string(n) + ")");
        if (::mkdir(folder.c_str(), 0755) == 0) {
            SyncFolder(root);
            path_ = folder;
            return true;
        }
        if (errno != EEXIST) {
            Fail(failure, "无法建立备份文件夹 " + std::string(kBackupFolder) + "：" + WriteErrorText(errno));
            return false;
        }
    }
    Fail(failure, "无法建立备份文件夹 " + std::string(kBackupFolder) + "：同名的文件夹太多");
    return false;
}

bool BackupFolder::Keep(const fs::path& relative, std::string* failure) {
    if (!Inside(relative)) {
        Fail(failure, relative.generic_string() + "：不在程序文件夹中");
        return false;
    }
    if (!Make(failure)) return false;
    std::string why;
    if (!CopyFileWhole(appFolder_ / relative, path_ / relative, true, &why)) {
        Fail(failure, relative.generic_string() + "：" + why);
        return false;
    }
    return true;
}

bool BackupFolder::Keep(const fs::path& relative, const Bytes& bytes, std::string* failure) {
    if (!Inside(relative)) {
        Fail(failure, relative.generic_string() + "：不在程序文件夹中");
        return false;
    }
    if (!Make(failure)) return false;
    std::string why;
    const bool ok = WriteThroughScratch(
        path_ / relative,
        [&bytes](int out, std::string& error) {
            if (WriteAll(out, reinterpret_cast<const char*>(bytes.data()), bytes.size())) return true;
            error = "无法写入：" + WriteErrorText(errno);
            return false;
        },
        &why);
    if (!ok) Fail(failure, relative.generic_string() + "：" + why);
    return ok;
}

}  // namespace lingchao
