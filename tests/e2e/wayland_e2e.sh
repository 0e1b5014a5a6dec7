#!/usr/bin/env bash
# A Wayland desktop, on a headless weston: with XWayland the program's windows go through it (the clock on X11,
# the hotkeys grabbed); without XWayland the program says once that the clock cannot stay on top and the hotkeys
# are off, and the bells go on. Usage: wayland_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder;
# screenshots of the compositor's screen go to $LINGCHAO_E2E_SHOTS)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need weston weston-screenshooter Xwayland xdotool xprop convert
[ -f /usr/lib/x86_64-linux-gnu/libweston-10/headless-backend.so ] || ls /usr/lib/*/libweston-*/headless-backend.so \
    >/dev/null 2>&1 || { echo "SKIP: weston's headless backend missing"; exit 0; }
e2e_begin
app="$T/app"
mkdir -p "$app/music" "$app/job"
shots=${LINGCHAO_E2E_SHOTS:-$T/shots}
mkdir -p "$shots"
cp "$build/bin/lingchao" "$app/"

start_weston() {  # name, extra weston options...
    local name=$1
    shift
    # --debug lets weston-screenshooter read the screen; pixman draws it without a GPU.
    e2e_spawn weston --backend=headless-backend.so --use-pixman --debug --width=1024 --height=640 --socket="$name" \
        --idle-time=0 --log="$T/$name.log" "$@" >"$T/$name.err" 2>&1
    for _ in $(seq 1 600); do [ -S "$XDG_RUNTIME_DIR/$name" ] && break; sleep 0.1; done
    [ -S "$XDG_RUNTIME_DIR/$name" ] || e2e_fail "weston did not start"
}
screenshot() {  # socket, name: the compositor's whole screen as the user sees it, in $shots/<name>.png
    rm -rf "$T/shooter" && mkdir -p "$T/shooter"
    (cd "$T/shooter" && WAYLAND_DISPLAY=$1 timeout 60 weston-screenshooter) >/dev/null 2>&1 ||
        e2e_fail "no screenshot of $1"
    mv "$T"/shooter/*.png "$shots/$2.png"
}
# As a session's end does: SIGTERM, which must end it although its windows only hide.
stop_program() { e2e_stop_program "$1"; }  # name

# With XWayland: weston's X server; Qt would pick Wayland (the Wayland plugin is installed) without the program.
start_weston wl-x --xwayland
for _ in $(seq 1 600); do grep -q "xserver listening on display" "$T/wl-x.log" && break; sleep 0.1; done
xdisplay=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$T/wl-x.log" | head -1)
[ -n "$xdisplay" ] || e2e_fail "weston started no XWayland"
e2e_start_program xwayland env -C "$app" WAYLAND_DISPLAY=wl-x DISPLAY="$xdisplay" XDG_SESSION_TYPE=wayland \
    "$app/lingchao"
e2e_wait_line "$T/xwayland.err" "through XWayland" 60 || e2e_fail "no word of XWayland in the log"
splash=""
for _ in $(seq 1 600); do
    splash=$(DISPLAY=$xdisplay xdotool search --name '^铃潮$' 2>/dev/null | head -1 || true)
    [ -n "$splash" ] && break
    e2e_check_alive
    sleep 0.1
done
[ -n "$splash" ] || e2e_fail "the splash is not an X11 window on XWayland"
# The splash hands over to the clock after 8 s; the clock's load grabs the hotkeys on the X server.
e2e_wait_line "$T/xwayland.err" "job\\(s\\) scheduled" 60 || e2e_fail "the scheduler did not start"
gone=""
for _ in $(seq 1 600); do
    DISPLAY=$xdisplay xdotool search --onlyvisible --name '^铃潮$' >/dev/null 2>&1 || { gone=1; break; }
    e2e_check_alive
    sleep 0.1
done
[ -n "$gone" ] || e2e_fail "the splash did not hand over to the clock"
# The clock is an X11 window on XWayland, and the compositor shows it: its blue digits are on the screen.
clock=""
for _ in $(seq 1 600); do
    for id in $(DISPLAY=$xdisplay xdotool search --onlyvisible --classname lingchao 2>/dev/null); do
        eval "$(DISPLAY=$xdisplay xdotool getwindowgeometry --shell "$id")"
        [ "$WIDTH" = 40 ] && [ "$HEIGHT" = 40 ] && clock=$id
    done
    [ -n "$clock" ] && break
    e2e_check_alive
    sleep 0.1
done
[ -n "$clock" ] || e2e_fail "the clock is not an X11 window on XWayland"
eval "$(DISPLAY=$xdisplay xdotool getwindowgeometry --shell "$clock")"
blue=0
for _ in $(seq 1 150); do
    screenshot wl-x clock-xwayland
    blue=$(convert "$shots/clock-xwayland.png" -crop "40x40+$X+$Y" +repage -fx 'r<0.4 && g<0.4 && b>0.6' \
        -format '%[fx:round(mean*w*h)]' info:)
    [ "$blue" -ge 10 ] && break
    e2e_check_alive
    sleep 0.2
done
[ "$blue" -ge 10 ] || e2e_fail "the clock is not on the compositor's screen at $X,$Y"
# Ctrl+F12 on the X server reaches the program's key grab: the main window opens.
main=""
for _ in $(seq 1 300); do
    DISPLAY=$xdisplay xdotool key ctrl+F12
    main=$(DISPLAY=$xdisplay xdotool search --onlyvisible --name '^铃潮V4.0$' 2>/dev/null | head -1 || true)
    [ -n "$main" ] && break
    e2e_check_alive
    sleep 0.2
done
[ -n "$main" ] || e2e_fail "Ctrl+F12 did not open the main window under XWayland"
grep -q "global hotkeys unavailable" "$T/xwayland.err" && e2e_fail "hotkeys off under XWayland"
grep -q "cannot stay on top" "$T/xwayland.err" && e2e_fail "told the clock cannot stay on top under XWayland"
stop_program xwayland

# Without XWayland: native Wayland windows, told once on screen and in the log; the scheduler runs all the same.
start_weston wl-only
e2e_start_program wayland env -C "$app" WAYLAND_DISPLAY=wl-only "$app/lingchao"
e2e_wait_line "$T/wayland.err" "job\\(s\\) scheduled" 60 || e2e_fail "the scheduler did not start"
if ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
    grep -q "Wayland session without XWayland: the clock cannot stay on top and the hotkeys are off" \
        "$T/wayland.err" || e2e_fail "not told that the clock cannot stay on top"
    e2e_wait_line "$T/wayland.err" "global hotkeys unavailable" 60 || e2e_fail "the hotkeys' absence is not logged"
else
    grep -q "qt6-wayland) is not installed: running without windows" "$T/wayland.err" ||
        e2e_fail "no word of running without windows"
fi
e2e_check_alive wayland
[ "$(grep -c "cannot stay on top" "$T/wayland.err")" -le 1 ] || e2e_fail "told more than once"
screenshot wl-only no-xwayland
stop_program wayland
echo PASS
