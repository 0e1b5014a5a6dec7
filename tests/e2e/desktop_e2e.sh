#!/usr/bin/env bash
# The desktop side of the real program on a private X server with a window manager:
# splash, second copy refused (also from another session), clock topmost and draggable, main window by double-click and Ctrl+F12,
# the clock's menu and quitting. Usage: desktop_e2e.sh <program>   (screenshots go to $LINGCHAO_E2E_SHOTS)
set -euo pipefail
program=$(readlink -f "$1")
for tool in Xvfb openbox xdotool import convert xprop; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 0; }
done

T=$(mktemp -d /tmp/lingchao-e2e.XXXXXX)
shots=${LINGCHAO_E2E_SHOTS:-$T/shots}
mkdir -p "$T/app/music" "$T/run" "$shots"
chmod 700 "$T/run"
cp "$program" "$T/app/lingchao"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    # A failure's screenshot outlives the folder when no other place was given for the shots.
    if [ -n "${shots_kept:-}" ] && [ -z "${LINGCHAO_E2E_SHOTS:-}" ] && [ -f "$T/shots/failure.png" ]; then
        cp "$T/shots/failure.png" "/tmp/lingchao-e2e-desktop-failure.png" 2>/dev/null || true
        echo "screen kept: /tmp/lingchao-e2e-desktop-failure.png"
    fi
    [ -n "${KEEP:-}" ] || rm -rf "$T"
}
trap cleanup EXIT
# On failure: what the programs said, and the screen as it was (kept in the shots folder).
fail() {
    echo "FAIL: $*"
    import -window root "$shots/failure.png" 2>/dev/null && echo "screen: $shots/failure.png" || true
    local f
    for f in "$T"/*.err; do [ -s "$f" ] && { echo "--- $f"; tail -30 "$f"; }; done
    [ -n "${KEEP:-}" ] || shots_kept=1
    exit 1
}

Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$T/display" >"$T/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 300); do [ -s "$T/display" ] && break; sleep 0.1; done
number=$(head -1 "$T/display")
[ -n "$number" ] || fail "Xvfb did not start"
export DISPLAY=":$number" XDG_RUNTIME_DIR="$T/run" HOME="$T" QT_QPA_PLATFORM=xcb
# One GStreamer registry for every run of the test: a fresh HOME would rebuild it at each start, seconds under load.
export GST_REGISTRY="${LINGCHAO_GST_REGISTRY:-${TMPDIR:-/tmp}/lingchao-e2e-gst-registry-$(id -u).bin}"
# A bus that is not there: no session bus is needed, and none gets auto-launched to outlive the test.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$T/no-session-bus"
openbox >"$T/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 300); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

start_program() {  # $1: log name; prints the pid (the caller remembers it)
    (cd "$T/app" && exec ./lingchao) >"$T/$1.out" 2>"$T/$1.err" &
    echo $!
}
# Waits are for conditions, with timeouts far beyond need: the test shares a loaded machine with others.
until_true() {  # timeout seconds, command...: runs the command until it succeeds
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}
wait_window() {  # $1: search arguments as one string; prints the first id
    local id=""
    for _ in $(seq 1 600); do
        # shellcheck disable=SC2086
        id=$(xdotool search --onlyvisible $1 2>/dev/null | head -1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
activate() {  # keys go to the window only once the window manager has given it the focus
    xdotool windowactivate --sync "$1"
    until_true 30 active "$1" || fail "window $1 did not get the focus"
}
geometry() { xdotool getwindowgeometry --shell "$1" | tr '\n' ' '; }
pixel() { import -window root "$T/p.png" && convert "$T/p.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}'; }

first=$(start_program first)
pids+=("$first")  # started in a subshell: remembered here for the cleanup
splash=$(wait_window "--name ^铃潮$") ||
    fail "no splash (the program is $(kill -0 "$first" 2>/dev/null && echo still running || echo gone))"
sleep 0.5
import -window root "$shots/splash.png"
[ -f "$T/app/music/null.dll" ] && [ ! -s "$T/app/music/null.dll" ] || fail "null media file not prepared"
xprop -id "$splash" _NET_WM_STATE | grep -q SKIP_TASKBAR || fail "splash has a taskbar entry"

# A click on the splash brings the clock at once.
eval "$(geometry "$splash")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
clock=""
for _ in $(seq 1 300); do
    for id in $(xdotool search --onlyvisible --classname lingchao 2>/dev/null); do
        eval "$(geometry "$id")"
        [ "$WIDTH" = 40 ] && [ "$HEIGHT" = 40 ] && clock=$id
    done
    [ -n "$clock" ] && break
    sleep 0.1
done
[ -n "$clock" ] || fail "no clock after the click"
xdotool search --onlyvisible --name "^铃潮$" >/dev/null 2>&1 && fail "splash still shown"
eval "$(geometry "$clock")"
[ "$X,$Y" = "225,100" ] || fail "clock at $X,$Y instead of its design place"

# A second copy says so and ends; the first goes on. (After the clock is up: the splash is gone in 8 s, and a
# second copy starting on a loaded machine can take longer than that.)
second=$(start_program second)
pids+=("$second")  # started in a subshell: remembered here for the cleanup
box=$(wait_window "--name ^提示$") || fail "second copy showed no box"
activate "$box"
xdotool key Return
for _ in $(seq 1 300); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
kill -0 "$second" 2>/dev/null && fail "second copy still running"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"
xdotool search --onlyvisible --classname lingchao 2>/dev/null | grep -qx "$clock" || fail "first copy's clock went away"
# So does a copy of another session on the same folder, with a runtime folder and a home of its own.
mkdir -p "$T/run2" "$T/home2"
chmod 700 "$T/run2"
other=$(XDG_RUNTIME_DIR="$T/run2" HOME="$T/home2" start_program other)
pids+=("$other")  # started in a subshell: remembered here for the cleanup
box=$(wait_window "--name ^提示$") || fail "a copy of another session showed no box"
activate "$box"
xdotool key Return
for _ in $(seq 1 300); do kill -0 "$other" 2>/dev/null || break; sleep 0.1; done
kill -0 "$other" 2>/dev/null && fail "the copy of another session still running"
kill -0 "$first" 2>/dev/null || fail "the first copy ended"

xprop -id "$clock" _NET_WM_STATE | grep -q SKIP_TASKBAR || fail "clock has a taskbar entry"
sleep 0.3
import -window root -crop 40x40+225+100 "$shots/clock.png"
clockPixel=$(pixel 245 131)

# Drag: the grabbed point stays under the pointer.
xdotool mousemove 235 110 mousedown 1 mousemove 280 150 mousemove 335 190 mouseup 1
at() { eval "$(geometry "$1")"; [ "$X,$Y" = "$2" ]; }
until_true 30 at "$clock" 325,180 || fail "dragged clock at $X,$Y, expected 325,180"

# Double-click: the main window.
xdotool mousemove 345 200 click --repeat 2 --delay 80 1
main=$(wait_window "--name ^铃潮V4.0$") || fail "double-click did not show the main window"
eval "$(geometry "$clock")"
[ "$X,$Y" = "325,180" ] || fail "double-click moved the clock"

# Topmost: the active main window laid over the clock does not cover it.
xdotool windowmove --sync "$main" 250 120
activate "$main"
clock_shows() { [ "$(pixel 345 211)" = "$clockPixel" ]; }
until_true 30 clock_shows || fail "the clock went behind the main window"
import -window root "$shots/clock-over-main.png"

# Ctrl+F12 leaves a visible (here minimised) main window alone and brings back a closed one.
xdotool windowminimize --sync "$main"
xdotool key ctrl+F12
sleep 0.7
xprop -id "$main" _NET_WM_STATE | grep -q HIDDEN || fail "Ctrl+F12 touched a visible main window"
activate "$main"
xdotool key alt+F4
for _ in $(seq 1 300); do xdotool search --onlyvisible --name "^铃潮V4.0$" >/dev/null 2>&1 || break; sleep 0.1; done
xdotool search --onlyvisible --name "^铃潮V4.0$" >/dev/null 2>&1 && fail "main window did not close"
kill -0 "$first" 2>/dev/null || fail "closing the main window ended the program"
xdotool key ctrl+F12
main=$(wait_window "--name ^铃潮V4.0$") || fail "Ctrl+F12 did not show the hidden main window"
# Out of the way in a corner: a box centred on it could not pass for one centred on the screen.
xdotool windowmove --sync "$main" 700 420

# Right button: the menu; Q quits after the question, Cancel first keeps it running.
windows() { xdotool search --onlyvisible --classname lingchao 2>/dev/null | sort; }
open_menu() {  # the menu is one more window of the program
    local before
    before=$(windows)
    xdotool mousemove 345 200 click 3
    more() { [ -n "$(comm -13 <(echo "$before") <(windows))" ]; }
    until_true 30 more || fail "no menu"
}
open_menu
import -window root "$shots/menu.png"
xdotool key q
quitBox=$(wait_window "--name ^退出$") || fail "no quit question"
# Centred on the screen (1280 x 800), not on the small clock.
eval "$(geometry "$quitBox")"
centre_x=$((X + WIDTH / 2)) centre_y=$((Y + HEIGHT / 2))
[ $((centre_x - 640)) -gt -60 ] && [ $((centre_x - 640)) -lt 60 ] && [ $((centre_y - 400)) -gt -60 ] &&
    [ $((centre_y - 400)) -lt 60 ] || fail "quit question centred at $centre_x,$centre_y, not on the screen"
import -window root "$shots/quit.png"
activate "$quitBox"
xdotool key Escape
gone() { ! xdotool search --onlyvisible --name "^退出$" >/dev/null 2>&1; }
until_true 30 gone || fail "Escape did not close the quit question"
kill -0 "$first" 2>/dev/null || fail "Cancel ended the program"
open_menu
xdotool key q
quitBox=$(wait_window "--name ^退出$") || fail "no quit question the second time"
activate "$quitBox"
xdotool key shift+Tab key space   # Cancel is the default: step to OK
for _ in $(seq 1 300); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
kill -0 "$first" 2>/dev/null && fail "OK did not end the program"

# The guard went with it: a new start reaches the splash. The splash takes the keyboard by itself (openbox
# gives a new window none), so Esc ends it.
third=$(start_program third)
pids+=("$third")  # started in a subshell: remembered here for the cleanup
splash=$(wait_window "--name ^铃潮$") || fail "no start after quitting"
until_true 30 active "$splash" || fail "the splash did not take the focus"
xdotool key Escape
gone_splash() { ! xdotool search --onlyvisible --name "^铃潮$" >/dev/null 2>&1; }
until_true 30 gone_splash || fail "Esc did not end the splash"
kill "$third"
echo "PASS (screenshots in $shots)"
