#!/usr/bin/env bash
# The desktop side of the real program on a private X server with a window manager:
# splash, second copy refused (also from another session), clock topmost and draggable, main window by double-click and Ctrl+F12,
# the clock's menu and quitting. Usage: desktop_e2e.sh <program>   (screenshots go to $LINGCHAO_E2E_SHOTS)
set -euo pipefail
program=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need Xvfb openbox xdotool import convert xprop
e2e_begin
shots=${LINGCHAO_E2E_SHOTS:-$T/shots}
mkdir -p "$T/app/music" "$shots"
cp "$program" "$T/app/lingchao"
e2e_start_x

splash="" box="" main="" quitBox=""
start_program() { e2e_start_program "$1" env -C "$T/app" "$T/app/lingchao"; }  # name
wait_window() {  # variable, search arguments as one string, what failed: sets the variable to the first id
    local id=""
    for _ in $(seq 1 600); do
        # shellcheck disable=SC2086
        id=$(xdotool search --onlyvisible $2 2>/dev/null | head -1 || true)
        [ -n "$id" ] && { printf -v "$1" %s "$id"; return 0; }
        e2e_check_alive
        sleep 0.1
    done
    e2e_fail "$3"
}
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
activate() {  # keys go to the window only once the window manager has given it the focus
    xdotool windowactivate --sync "$1"
    e2e_until 30 active "$1" || e2e_fail "window $1 did not get the focus"
}
windows() { xdotool search --onlyvisible --classname lingchao 2>/dev/null | sort; }
open_menu() {  # the clock's menu, one more window of the program
    menu_before=$(windows)
    xdotool mousemove 345 200 click 3
    e2e_until 30 menu_shown || e2e_fail "no menu"
}
menu_shown() { [ -n "$(comm -13 <(echo "$menu_before") <(windows))" ]; }
menu_gone() { ! menu_shown; }
geometry() { xdotool getwindowgeometry --shell "$1" | tr '\n' ' '; }
pixel() { import -window root "$T/p.png" && convert "$T/p.png" -crop "1x1+$1+$2" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}'; }

start_program first
started=$SECONDS
for _ in $(seq 1 600); do
    splash=$(xdotool search --onlyvisible --name '^铃潮$' 2>/dev/null | head -1 || true)
    [ -n "$splash" ] && break
    e2e_clock_up && e2e_fail "the splash was gone before it was seen: the clock is up, $((SECONDS - started)) s after the start"
    e2e_check_alive
    sleep 0.1
done
[ -n "$splash" ] || e2e_fail "no splash within $((SECONDS - started)) s"
sleep 0.5  # painted, for the screenshot
import -window root "$shots/splash.png"
[ -f "$T/app/music/null.dll" ] && [ ! -s "$T/app/music/null.dll" ] || e2e_fail "null media file not prepared"
xprop -id "$splash" _NET_WM_STATE | grep -q SKIP_TASKBAR || e2e_fail "splash has a taskbar entry"

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
    e2e_check_alive
    sleep 0.1
done
[ -n "$clock" ] || e2e_fail "no clock after the click"
xdotool search --onlyvisible --name "^铃潮$" >/dev/null 2>&1 && e2e_fail "splash still shown"
eval "$(geometry "$clock")"
[ "$X,$Y" = "225,100" ] || e2e_fail "clock at $X,$Y instead of its design place"

# A second copy says so and ends; the first goes on. (After the clock is up: the splash is gone in 8 s, and a
# second copy starting on a loaded machine can take longer than that.)
start_program second
wait_window box "--name ^提示$" "second copy showed no box"
activate "$box"
xdotool key Return
e2e_wait_exit second 30 || e2e_fail "second copy still running"
e2e_check_alive first
xdotool search --onlyvisible --classname lingchao 2>/dev/null | grep -qx "$clock" || e2e_fail "first copy's clock went away"
# So does a copy of another session on the same folder, with a runtime folder and a home of its own.
mkdir -p "$T/run2" "$T/home2"
chmod 700 "$T/run2"
e2e_start_program other env -C "$T/app" XDG_RUNTIME_DIR="$T/run2" HOME="$T/home2" "$T/app/lingchao"
wait_window box "--name ^提示$" "a copy of another session showed no box"
activate "$box"
xdotool key Return
e2e_wait_exit other 30 || e2e_fail "the copy of another session still running"
e2e_check_alive first

xprop -id "$clock" _NET_WM_STATE | grep -q SKIP_TASKBAR || e2e_fail "clock has a taskbar entry"
# The clock's pixel is taken once its blue digits are drawn.
painted() {
    import -window root -crop 40x40+225+100 "$shots/clock.png" &&
        [ "$(convert "$shots/clock.png" -fx 'r<0.4 && g<0.4 && b>0.6' -format '%[fx:round(mean*w*h)]' info:)" -ge 10 ]
}
e2e_until 60 painted || e2e_fail "the clock shows no digits"
clockPixel=$(pixel 245 131)

# Drag: the grabbed point stays under the pointer.
xdotool mousemove 235 110 mousedown 1 mousemove 280 150 mousemove 335 190 mouseup 1
at() { eval "$(geometry "$1")"; [ "$X,$Y" = "$2" ]; }
e2e_until 30 at "$clock" 325,180 || e2e_fail "dragged clock at $X,$Y, expected 325,180"

# Double-click: the main window.
xdotool mousemove 345 200 click --repeat 2 --delay 80 1
wait_window main "--name ^铃潮V4.0$" "double-click did not show the main window"
eval "$(geometry "$clock")"
[ "$X,$Y" = "325,180" ] || e2e_fail "double-click moved the clock"

# Topmost: the active main window laid over the clock does not cover it.
xdotool windowmove --sync "$main" 250 120
activate "$main"
clock_shows() { [ "$(pixel 345 211)" = "$clockPixel" ]; }
e2e_until 30 clock_shows || e2e_fail "the clock went behind the main window"
import -window root "$shots/clock-over-main.png"

# Ctrl+F12 leaves a visible (here minimised) main window alone and brings back a closed one.
xdotool windowminimize --sync "$main"
xdotool key ctrl+F12
# Dealt with by the program and then by the window manager before the look: the program reads its X events in
# order, so once the menu of a later click is up, whatever the key made it ask for was sent before it; openbox
# too works in order, so once it has moved the clock (asked for after that), it has done those requests as well.
open_menu
xdotool key Escape
e2e_until 30 menu_gone || e2e_fail "Escape did not close the menu"
xdotool windowmove "$clock" 326 180
e2e_until 30 at "$clock" 326,180 || e2e_fail "the window manager did not move the clock"
xdotool windowmove "$clock" 325 180
e2e_until 30 at "$clock" 325,180 || e2e_fail "the window manager did not move the clock back"
xprop -id "$main" _NET_WM_STATE | grep -q HIDDEN || e2e_fail "Ctrl+F12 touched a visible main window"
activate "$main"
xdotool key alt+F4
main_gone() { ! xdotool search --onlyvisible --name "^铃潮V4.0$" >/dev/null 2>&1; }
e2e_until 30 main_gone || e2e_fail "main window did not close"
e2e_check_alive first
xdotool key ctrl+F12
wait_window main "--name ^铃潮V4.0$" "Ctrl+F12 did not show the hidden main window"
# Out of the way in a corner: a box centred on it could not pass for one centred on the screen.
xdotool windowmove --sync "$main" 700 420

# Right button: the menu; Q quits after the question, Cancel first keeps it running.
open_menu
import -window root "$shots/menu.png"
xdotool key q
wait_window quitBox "--name ^退出$" "no quit question"
# Centred on the screen (1280 x 800), not on the small clock.
eval "$(geometry "$quitBox")"
centre_x=$((X + WIDTH / 2)) centre_y=$((Y + HEIGHT / 2))
[ $((centre_x - 640)) -gt -60 ] && [ $((centre_x - 640)) -lt 60 ] && [ $((centre_y - 400)) -gt -60 ] &&
    [ $((centre_y - 400)) -lt 60 ] || e2e_fail "quit question centred at $centre_x,$centre_y, not on the screen"
import -window root "$shots/quit.png"
activate "$quitBox"
xdotool key Escape
gone() { ! xdotool search --onlyvisible --name "^退出$" >/dev/null 2>&1; }
e2e_until 30 gone || e2e_fail "Escape did not close the quit question"
e2e_check_alive first
open_menu
xdotool key q
wait_window quitBox "--name ^退出$" "no quit question the second time"
activate "$quitBox"
xdotool key shift+Tab key space   # Cancel is the default: step to OK
e2e_wait_exit first 30 || e2e_fail "OK did not end the program"
[ "$E2E_STATUS" = 0 ] || e2e_fail "quitting ended the program with status $(e2e_status_text "$E2E_STATUS")"

# The guard went with it: a new start reaches the splash. The splash takes the keyboard by itself (openbox
# gives a new window none), so Esc ends it.
start_program third
wait_window splash "--name ^铃潮$" "no start after quitting"
e2e_until 30 active "$splash" || e2e_fail "the splash did not take the focus"
xdotool key Escape
gone_splash() { ! xdotool search --onlyvisible --name "^铃潮$" >/dev/null 2>&1; }
e2e_until 30 gone_splash || e2e_fail "Esc did not end the splash"
e2e_stop_program third
echo "PASS (screenshots in $shots)"
