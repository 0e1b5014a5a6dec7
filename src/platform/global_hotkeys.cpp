#include "platform/global_hotkeys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <array>
#include <cstdlib>
#include <vector>

namespace lingchao {
namespace {

constexpr xcb_keysym_t kF12 = 0xffc9;
constexpr xcb_keysym_t kKp0 = 0xffb0;
constexpr xcb_keysym_t kKpInsert = 0xff9e;  // same key as KP_0 with NumLock off
constexpr xcb_keysym_t kNumLock = 0xff7f;

class UnavailableHotkeys final : public GlobalHotkeys {
public:
    explicit UnavailableHotkeys(std::string reason) : reason_(std::move(reason)) {}
    bool Available() const override { return false; }
    std::string UnavailableReason() const override { return reason_; }
    bool Grab(Hotkey) override { return false; }
    void Ungrab(Hotkey) override {}
    void SetHandler(std::function<void(Hotkey)>) override {}

private:
    std::string reason_;
};

class XcbHotkeys final : public GlobalHotkeys, public QAbstractNativeEventFilter {
public:
    explicit XcbHotkeys(xcb_connection_t* connection) : connection_(connection) {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        root_ = xcb_setup_roots_iterator(setup).data->root;
        LoadKeyboard();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~XcbHotkeys() override {
        Ungrab(Hotkey::ShowMainWindow);
        Ungrab(Hotkey::ToggleDoor);
        if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool Available() const override { return true; }
    std::string UnavailableReason() const override { return {}; }

    bool Grab(Hotkey key) override {
        Binding& b = BindingOf(key);
        if (b.held) return true;
        if (b.keycodes.empty()) return false;
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t code : b.keycodes)
            for (std::uint16_t extra : LockVariants())
                cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, b.modifiers | extra, code,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        bool ok = true;
        for (auto cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                ok = false;  // BadAccess: another client holds this combination
                std::free(error);
            }
        }
        b.held = true;
        if (!ok) Ungrab(key);  // a half-held combination would work only in some lock states
        return ok;
    }

    void Ungrab(Hotkey key) override {
        Binding& b = BindingOf(key);
        if (!b.held) return;
        for (xcb_keycode_t code : b.keycodes)
            for (std::uint16_t extra : LockVariants()) xcb_ungrab_key(connection_, code, root_, b.modifiers | extra);
        xcb_flush(connection_);
        b.held = false;
    }

    void SetHandler(std::function<void(Hotkey)> handler) override { handler_ = std::move(handler); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAPPING_NOTIFY) {
            Remap();
            return false;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
        const auto* press = static_cast<const xcb_key_press_event_t*>(message);
        const std::uint16_t mods = press->state & kRelevantModifiers & ~(numLockMask_ | XCB_MOD_MASK_LOCK);
        for (Hotkey key : {Hotkey::ShowMainWindow, Hotkey::ToggleDoor}) {
            const Binding& b = BindingOf(key);
            if (!b.held || mods != b.modifiers) continue;
            for (xcb_keycode_t code : b.keycodes) {
                if (code != press->detail) continue;
                if (type == XCB_KEY_PRESS && handler_) handler_(key);
                return true;  // ours: the focused Qt window must not see it
            }
        }
        return false;
    }

private:
    struct Binding {
        std::uint16_t modifiers = 0;
        std::vector<xcb_keycode_t> keycodes;
        bool held = false;
    };
    static constexpr std::uint16_t kRelevantModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_CONTROL |
                                                        XCB_MOD_MASK_1 | XCB_MOD_MASK_2 | XCB_MOD_MASK_3 |
                                                        XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

    Binding& BindingOf(Hotkey key) { return key == Hotkey::ShowMainWindow ? show_ : door_; }
    const Binding& BindingOf(Hotkey key) const { return key == Hotkey::ShowMainWindow ? show_ : door_; }

    std::array<std::uint16_t, 4> LockVariants() const {
        return {0, XCB_MOD_MASK_LOCK, numLockMask_, static_cast<std::uint16_t>(numLockMask_ | XCB_MOD_MASK_LOCK)};
    }

    static void AddKeycodes(xcb_key_symbols_t* symbols, xcb_keysym_t sym, std::vector<xcb_keycode_t>& out) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
        if (codes == nullptr) return;
        for (xcb_keycode_t* c = codes; *c != XCB_NO_SYMBOL; ++c) {
            bool seen = false;
            for (xcb_keycode_t have : out) seen = seen || have == *c;
            if (!seen) out.push_back(*c);
        }
        std::free(codes);
    }

    void LoadKeyboard() {
        show_.modifiers = XCB_MOD_MASK_CONTROL;
        door_.modifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
        show_.keycodes.clear();
        door_.keycodes.clear();
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        if (symbols == nullptr) return;
        AddKeycodes(symbols, kF12, show_.keycodes);
        AddKeycodes(symbols, kKp0, door_.keycodes);
        AddKeycodes(symbols, kKpInsert, door_.keycodes);
        std::vector<xcb_keycode_t> numLockCodes;
        AddKeycodes(symbols, kNumLock, numLockCodes);
        xcb_key_symbols_free(symbols);

        numLockMask_ = XCB_MOD_MASK_2;  // the usual place when the mapping says nothing
        xcb_get_modifier_mapping_reply_t* map =
            xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
        if (map == nullptr) return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map);
        const int perModifier = map->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod)
            for (int i = 0; i < perModifier; ++i)
                for (xcb_keycode_t nl : numLockCodes)
                    if (codes[mod * perModifier + i] == nl && nl != 0)
                        numLockMask_ = static_cast<std::uint16_t>(1u << mod);
        std::free(map);
    }

    // The keyboard map changed: grab the keys where they now are.
    void Remap() {
        const bool showHeld = show_.held;
        const bool doorHeld = door_.held;
        Ungrab(Hotkey::ShowMainWindow);
        Ungrab(Hotkey::ToggleDoor);
        LoadKeyboard();
        if (showHeld) Grab(Hotkey::ShowMainWindow);
        if (doorHeld) Grab(Hotkey::ToggleDoor);
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::uint16_t numLockMask_ = XCB_MOD_MASK_2;
    Binding show_;
    Binding door_;
    std::function<void(Hotkey)> handler_;
};

}  // namespace

std::unique_ptr<GlobalHotkeys> CreateSystemHotkeys() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) return std::make_unique<UnavailableHotkeys>("no graphical session");
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return std::make_unique<UnavailableHotkeys>("the \"" + QGuiApplication::platformName().toStdString() +
                                                    "\" platform has no X11 key grabs (run with QT_QPA_PLATFORM=xcb)");
    return std::make_unique<XcbHotkeys>(x11->connection());
}

}  // namespace lingchao
