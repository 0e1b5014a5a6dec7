#include "platform/display_session.h"

#include <gtest/gtest.h>

namespace lingchao {
namespace {

struct Row {
    const char* what;
    const char* display;
    const char* wayland;
    const char* qpa;
    bool waylandPlugin;
    bool windows;
    const char* platform;
    const char* logHas;
};

TEST(DisplaySession, XWaylandIsPreferredUnlessTheUserChose) {
    const Row rows[] = {
        {"X11", ":0", "", "", false, true, "", ""},
        {"Wayland with XWayland", ":1", "wayland-0", "", true, true, "xcb", "through XWayland (:1)"},
        {"Wayland with XWayland, no Wayland plugin", ":1", "wayland-0", "", false, true, "xcb", "XWayland"},
        {"the user's platform wins", ":1", "wayland-0", "wayland", true, true, "", ""},
        {"the user's platform without a session", "", "", "offscreen", false, true, "", ""},
        {"Wayland alone", "", "wayland-0", "", true, true, "", "cannot stay on top and the hotkeys are off"},
        {"Wayland alone, Qt cannot show windows there", "", "wayland-0", "", false, false, "",
         "running without windows"},
        {"nothing", "", "", "", true, false, "", "no display: running without windows"},
    };
    for (const Row& r : rows) {
        const DisplayChoice c = ChooseDisplay(r.display, r.wayland, r.qpa, r.waylandPlugin);
        EXPECT_EQ(c.windows, r.windows) << r.what;
        EXPECT_EQ(c.platform, r.platform) << r.what;
        if (*r.logHas == '\0') {
            EXPECT_EQ(c.logLine, "") << r.what;
        } else {
            EXPECT_NE(c.logLine.find(r.logHas), std::string::npos) << r.what << ": " << c.logLine;
        }
    }
}

}  // namespace
}  // namespace lingchao
