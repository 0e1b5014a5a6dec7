#include "support/hostile_files.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace lingchao::test {

void MakeFifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + path.string());
}

void MakeSparseFile(const std::filesystem::path& path, std::uint64_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(bytes)) != 0) throw std::runtime_error("sparse " + path.string());
    ::close(fd);
}

namespace {

constexpr unsigned kOverrides =
    (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER) | (1u << CAP_LINUX_IMMUTABLE);

bool GetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

bool SetCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

PermissionsApply::PermissionsApply() {
    __user_cap_data_struct data[2]{};
    if (!GetCaps(data)) return;
    saved_[0] = data[0].effective;
    saved_[1] = data[1].effective;
    if ((data[0].effective & kOverrides) == 0) return;
    data[0].effective &= ~kOverrides;
    changed_ = SetCaps(data);
    if (!changed_) throw std::runtime_error(std::string("cannot drop capabilities: ") + std::strerror(errno));
}

PermissionsApply::~PermissionsApply() {
    if (!changed_) return;
    __user_cap_data_struct data[2]{};
    if (!GetCaps(data)) return;
    data[0].effective = saved_[0];
    data[1].effective = saved_[1];
    SetCaps(data);
}

SmallFilesystem::SmallFilesystem(const std::filesystem::path& folder, std::size_t kilobytes) : folder_(folder) {
    // A namespace of our own: the mount goes away with the process, even when the test crashes.
    if (::unshare(CLONE_NEWNS) != 0) {
        why_ = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why_ = std::string("making / private: ") + std::strerror(errno);
        return;
    }
    const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0755";
    if (::mount("lingchao-test", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why_ = std::string("mount tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

SmallFilesystem::~SmallFilesystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

void SmallFilesystem::Fill() {
    const int fd = ::open((folder_ / ".filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("filler");
    std::vector<char> block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
}

}  // namespace lingchao::test
