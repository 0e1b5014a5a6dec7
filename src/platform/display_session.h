#pragma once

#include <string>

namespace lingchao {

// How the program meets the session it starts in.
struct DisplayChoice {
    bool windows = false;  // false: the scheduler alone, without windows
    std::string platform;  // the Qt platform to ask for ("xcb"); "" leaves it to Qt and the user
    std::string logLine;   // what to tell the log first; "" for nothing
};

// From the environment's DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM, and whether Qt's Wayland plugin is
// installed. The clock stays on top and the hotkeys work only on X11: in a Wayland session with XWayland the
// windows go through XWayland, unless the user chose a platform.
DisplayChoice ChooseDisplay(const std::string& display, const std::string& waylandDisplay,
                            const std::string& qpaPlatform, bool waylandPluginInstalled);

// ChooseDisplay for this process's environment; sets QT_QPA_PLATFORM when it asks for a platform. Call before
// the QApplication is made.
DisplayChoice ChooseDisplayForThisSession();

// What the user is told once when the windows run natively on Wayland (after the QApplication is made);
// "" on X11 or without windows.
std::string NoX11Notice();

}  // namespace lingchao
