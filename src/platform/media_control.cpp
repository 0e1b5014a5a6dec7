#include "platform/media_control.h"

// <linux/cdrom.h> uses INT_MAX without including <climits>.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <climits>

namespace lingchao {

bool LinuxMediaControl::Send(unsigned long request) {
    // O_NONBLOCK opens the drive even with no disc or an open tray.
    const int fd = ::open(device_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::ioctl(fd, request, 0) == 0;
    ::close(fd);
    return ok;
}

bool LinuxMediaControl::OpenDoor() { return Send(CDROMEJECT); }
bool LinuxMediaControl::CloseDoor() { return Send(CDROMCLOSETRAY); }

}  // namespace lingchao
