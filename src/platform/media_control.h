#pragma once

#include <string>

namespace lingchao {

// The CD drive's door. The program never reads the door's state back.
class MediaControl {
public:
    virtual ~MediaControl() = default;
    // Asks the drive to open its door; false when there is no drive or it refused (callers may ignore it).
    virtual bool OpenDoor() = 0;
    // Asks the drive to close its door; false when there is no drive or it refused (callers may ignore it).
    virtual bool CloseDoor() = 0;
};

// CDROMEJECT / CDROMCLOSETRAY on a Linux CD device.
class LinuxMediaControl final : public MediaControl {
public:
    explicit LinuxMediaControl(std::string device = "/dev/cdrom") : device_(std::move(device)) {}
    bool OpenDoor() override;
    bool CloseDoor() override;

private:
    bool Send(unsigned long request);
    std::string device_;
};

}  // namespace lingchao
