#include "platform/media_control.h"

#include <gtest/gtest.h>

namespace lingchao {
namespace {

// Without a usable drive the door commands fail quietly: no crash, no exception, no hang.
class DoorWithoutDrive : public ::testing::TestWithParam<const char*> {};

TEST_P(DoorWithoutDrive, CommandsReportFailureAndNothingElse) {
    LinuxMediaControl media(GetParam());
    EXPECT_FALSE(media.OpenDoor());
    EXPECT_FALSE(media.CloseDoor());
}

INSTANTIATE_TEST_SUITE_P(Devices, DoorWithoutDrive,
                         ::testing::Values("/nonexistent/cdrom",  // no drive (ENOENT)
                                           "/dev/null",           // not a CD device (ENOTTY)
                                           "/tmp"));              // a folder

}  // namespace
}  // namespace lingchao
