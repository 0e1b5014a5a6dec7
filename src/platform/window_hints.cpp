#include "platform/window_hints.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lingchao {
namespace {

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (reply == nullptr) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

}  // namespace

void MakeFloatingWindow(QWidget& window) {
    window.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    SkipTaskbarAndPager(window);
}

void SkipTaskbarAndPager(QWidget& window) {
    if (window.isVisible()) return;
    auto* app = qobject_cast<QGuiApplication*>(QGuiApplication::instance());
    auto* x11 = app != nullptr ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) return;
    xcb_connection_t* c = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());  // creates the native window, still unmapped
    const xcb_atom_t state = InternAtom(c, "_NET_WM_STATE");
    const xcb_atom_t wanted[] = {InternAtom(c, "_NET_WM_STATE_SKIP_TASKBAR"), InternAtom(c, "_NET_WM_STATE_SKIP_PAGER"),
                                 InternAtom(c, "_NET_WM_STATE_ABOVE")};
    if (state == XCB_ATOM_NONE) return;

    // Keep what is there: Qt adds its own states to this list when it maps the window.
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply != nullptr) {
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
    }
    for (xcb_atom_t a : wanted) {
        bool present = a == XCB_ATOM_NONE;
        for (xcb_atom_t have : atoms) present = present || have == a;
        if (!present) atoms.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    xcb_flush(c);
}

}  // namespace lingchao
