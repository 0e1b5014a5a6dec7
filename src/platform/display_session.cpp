#include "platform/display_session.h"

#include <QDir>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <cstdlib>

namespace lingchao {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool QtWaylandPluginInstalled() {
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
}

}  // namespace

DisplayChoice ChooseDisplay(const std::string& display, const std::string& waylandDisplay,
                            const std::string& qpaPlatform, bool waylandPluginInstalled) {
    DisplayChoice choice;
    if (!qpaPlatform.empty()) {
        choice.windows = true;
        return choice;
    }
    if (!display.empty()) {
        choice.windows = true;
        if (!waylandDisplay.empty()) {
            choice.platform = "xcb";
            choice.logLine = "Wayland session: the windows go through XWayland (" + display +
                             "), so the clock stays on top and the hotkeys work";
        }
        return choice;
    }
    if (!waylandDisplay.empty()) {
        if (waylandPluginInstalled) {
            choice.windows = true;
            choice.logLine = "Wayland session without XWayland: the clock cannot stay on top and the hotkeys are off";
        } else {
            choice.logLine =
                "Wayland session without XWayland, and Qt's Wayland support (qt6-wayland) is not "
                "installed: running without windows";
        }
        return choice;
    }
    choice.logLine = "no display: running without windows";
    return choice;
}

DisplayChoice ChooseDisplayForThisSession() {
    const std::string wayland = Env("WAYLAND_DISPLAY");
    const DisplayChoice choice =
        ChooseDisplay(Env("DISPLAY"), wayland, Env("QT_QPA_PLATFORM"), !wayland.empty() && QtWaylandPluginInstalled());
    if (!choice.platform.empty()) setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
    return choice;
}

std::string NoX11Notice() {
    if (qGuiApp == nullptr || !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"))) return {};
    return "这是没有 XWayland 的 Wayland 桌面：时钟不能保持在其他窗口之上，全局热键（Ctrl+F12、Ctrl+Alt+小键盘0）"
           "不可用。铃声照常播放。";
}

}  // namespace lingchao
