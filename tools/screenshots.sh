#!/usr/bin/env bash
# Makes every screenshot the README shows, from the real program on a private X server.
# Usage: tools/screenshots.sh <built lingchao> <output folder>
#   e.g. tools/screenshots.sh build/bin/lingchao docs
# Needs Xvfb, openbox, xdotool, xprop, xwininfo, ImageMagick (import, convert), faketime, python3; sox when present.
# The program runs in a throw-away application folder with an example timetable, at a fixed date and time
# (Monday 2026-12-07, 07:55), with no sound server and no system bus: nothing can ring aloud or shut down.
set -uo pipefail

program=$(readlink -f "${1:?path of the built lingchao}")
out=${2:?output folder}
mkdir -p "$out" && out=$(readlink -f "$out")
bells=${LINGCHAO_BELLS:-$(dirname "$(dirname "$program")")/share/music}
fake_time=${LINGCHAO_SHOT_TIME:-2026-12-07 07:55:20}

for tool in Xvfb openbox xdotool xprop xwininfo import convert faketime python3 timeout; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 2; }
done
[ -x "$program" ] || { echo "screenshots: $program is not a program" >&2; exit 2; }

T=$(mktemp -d /tmp/lingchao-shots.XXXXXX)
app=$T/app
mkdir -p "$app/music" "$app/job" "$T/run" "$T/home"
chmod 700 "$T/run"
pids=()
failed=()
cleanup() {
    # faketime waits for the program it started: end the program (its child) first, then the rest, newest first.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        for child in $(pgrep -P "${pids[i]}" 2>/dev/null); do kill "$child" 2>/dev/null; done
        kill "${pids[i]}" 2>/dev/null
    done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    if [ -n "${KEEP:-}" ]; then echo "kept $T"; else rm -rf "$T"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

note() { echo "screenshots: $*"; }
fail() {  # $1: capture name, rest: why
    local name=$1
    shift
    failed+=("$name")
    note "FAILED $name: $*"
    import -window root "$T/failure-$name.png" 2>/dev/null
    xdotool key Escape 2>/dev/null
    sleep 0.3
}

# ---------------------------------------------------------------- the application folder
cp "$program" "$app/lingchao"
for bell in 上课铃 下课铃 预备铃; do
    if [ -f "$bells/$bell.wav" ]; then
        cp "$bells/$bell.wav" "$app/music/"
    elif command -v sox >/dev/null; then
        sox -n -r 44100 -c 2 "$app/music/$bell.wav" synth 2 sine 880 2>/dev/null
    else
        note "no bells in $bells and no sox: jobs will show as unplayable"
    fi
done
# A few short pieces for the music list and the Monday flag-raising.
for piece in 升旗曲:523 运动员进行曲:659 茉莉花:784; do
    name=${piece%%:*}
    if command -v sox >/dev/null; then
        sox -n -r 44100 -c 2 "$app/music/$name.wav" synth 3 sine "${piece##*:}" fade 0.1 3 0.5 2>/dev/null
    else
        cp "$app/music/上课铃.wav" "$app/music/$name.wav" 2>/dev/null
    fi
done

python3 - "$app" <<'PY'
import struct, sys
app = sys.argv[1]
music = app + "/music/"

def field(text, width):
    b = text.encode("gbk")[:width]
    return b + b" " * (width - len(b))

# (state, date, time, name, music, daily-song flags, weekday songs)
jobs = [
    ("START", "Everyday", "07:50", "预备铃", music + "预备铃.wav", {}, {}),
    ("START", "Everyday", "07:55", "早操（周一升旗）", music + "课间音乐.m3u", {0: 1, 1: 1}, {1: music + "升旗曲.wav"}),
    ("START", "Everyday", "08:00", "第一节上课", music + "上课铃.wav", {}, {}),
    ("START", "Everyday", "08:45", "第一节下课", music + "下课铃.wav", {}, {}),
    ("START", "Everyday", "09:40", "课间操", music + "课间音乐.m3u", {}, {}),
    ("PAUSE", "Everyday", "12:10", "午休音乐", music + "课间音乐.m3u", {}, {}),
    ("START", "2026-12-10", "14:00", "期中考试开始", music + "预备铃.wav", {}, {}),
    ("START", "2026-12-10", "16:00", "期中考试结束", music + "下课铃.wav", {}, {}),
]
with open(app + "/default.dll", "wb") as f:
    for no, (state, date, time, name, main, flags, songs) in enumerate(jobs, 1):
        rec = struct.pack("<h", no) + field(name, 40) + field(time, 5) + field(date, 10) + field(state, 5)
        rec += field(main, 512) + b"".join(field(songs.get(d, ""), 512) for d in range(1, 8))
        rec += struct.pack("<8h", *[flags.get(i, 0) for i in range(8)])
        assert len(rec) == 4174
        f.write(rec)

# The exam days' own timetable, and a school calendar that names them.
exam = [
    ("START", "Everyday", "08:20", "考试预备", music + "预备铃.wav", {}, {}),
    ("START", "Everyday", "08:30", "考试开始", music + "上课铃.wav", {}, {}),
    ("START", "Everyday", "10:30", "考试结束", music + "下课铃.wav", {}, {}),
]
with open(app + "/job/期中考试.sav", "wb") as f:
    for no, (state, date, time, name, main, flags, songs) in enumerate(exam, 1):
        rec = struct.pack("<h", no) + field(name, 40) + field(time, 5) + field(date, 10) + field(state, 5)
        rec += field(main, 512) + b"".join(field("", 512) for d in range(1, 8)) + struct.pack("<8h", *[0] * 8)
        f.write(rec)
open(app + "/calendar.csv", "w", encoding="utf-8").write(
    "first_date,last_date,kind,argument,note\n"
    "2026-09-01,2027-01-24,rest-weekdays,6 7,第一学期\n"
    "2026-10-01,2026-10-07,holiday,,国庆节\n"
    "2026-10-10,2026-10-10,school-day,1,国庆调休\n"
    "2026-12-10,2026-12-11,group,期中考试.sav,期中考试\n"
    "2026-12-25,2026-12-25,holiday,,校庆\n"
    "2027-01-01,2027-01-03,holiday,,元旦\n")

# Daily at 17:30; per-weekday mode on, Friday at 16:30.
checks = [1, 0, 0, 0, 0, 1, 0, 0, 1]
times = ["17:30", "00:00", "00:00", "00:00", "00:00", "16:30", "00:00", "00:00", "00:00"]
record = struct.pack("<9h", *checks) + b"".join(field(t, 5) for t in times)
assert len(record) == 63
open(app + "/exit.dll", "wb").write(record)

# A job group brought from the old Windows computer: its paths name files there (the tidy table's picture).
old = [
    ("START", "Everyday", "07:50", "预备铃", "D:\\铃声\\预备铃.WAV"),
    ("START", "Everyday", "07:55", "早操", "C:\\Documents and Settings\\Administrator\\My Documents\\课间音乐.m3u"),
    ("START", "Everyday", "08:00", "第一节上课", "D:\\铃声\\上课铃.wav"),
    ("START", "Everyday", "10:30", "眼保健操", "D:\\铃声\\眼保健操.mp3"),
]
with open(app + "/job/旧电脑.sav", "wb") as f:
    for no, (state, date, time, name, main) in enumerate(old, 1):
        rec = struct.pack("<h", no) + field(name, 40) + field(time, 5) + field(date, 10) + field(state, 5)
        rec += field(main, 512) + field("", 512) * 7 + struct.pack("<8h", *[0] * 8)
        f.write(rec)

# A saved music list: GBK, CR LF.
entries = [music + "运动员进行曲.wav", music + "茉莉花.wav", music + "升旗曲.wav"]
open(music + "课间音乐.m3u", "wb").write(b"".join(e.encode("gbk") + b"\r\n" for e in entries))
PY
[ -f "$app/default.dll" ] || { echo "screenshots: could not write the example timetable" >&2; exit 1; }

# ---------------------------------------------------------------- X server, window manager, program
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$T/display" >"$T/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$T/display" ] && break; sleep 0.1; done
number=$(head -1 "$T/display" 2>/dev/null)
[ -n "$number" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number" HOME="$T/home" XDG_RUNTIME_DIR="$T/run" QT_QPA_PLATFORM=xcb LANG=C.UTF-8
unset WAYLAND_DISPLAY XDG_DATA_HOME
# Buses that are not there: no session bus gets auto-launched, and no shutdown request can reach a real system.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$T/no-session-bus" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$T/no-system-bus"
export PULSE_SERVER="unix:$T/no-sound-server"

# A calm desktop colour, so the floating clock stands out as it does on a real desktop.
convert -size 1280x800 gradient:'#4f7fae'-'#27496b' "$T/desktop.png" 2>/dev/null &&
    timeout 10 display -window root "$T/desktop.png" 2>/dev/null
openbox >"$T/openbox.log" 2>&1 &
pids+=($!)
sleep 1

start_program() {  # $1: log name; prints the pid
    (cd "$app" && exec faketime "$fake_time" ./lingchao) >"$T/$1.out" 2>"$T/$1.err" &
    echo $!
}

# ---------------------------------------------------------------- helpers
wait_name() {  # $1: window name (regex); $2: seconds. Prints the id.
    timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}
lingchao_windows() { xdotool search --onlyvisible --classname lingchao 2>/dev/null | sort; }
wait_new_window() {  # $1: file with the ids seen before; $2: seconds. Prints a new id.
    local deadline=$((SECONDS + ${2:-5})) id
    while [ $SECONDS -le "$deadline" ]; do
        id=$(lingchao_windows | comm -13 "$1" - | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
# Absolute client geometry: X Y W H.
client_box() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
        /Width:/{w=$2} /Height:/{h=$2} END{if (w) print x, y, w, h}'
}
# Geometry with the window manager's frame: X Y W H.
frame_box() {
    local x y w h l=0 r=0 t=0 b=0 ext
    read -r x y w h < <(client_box "$1") || return 1
    ext=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$ext" ] && IFS=, read -r l r t b <<<"$ext"
    echo $((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))
}
union() {  # boxes "X Y W H" as arguments (one per argument) and a margin as $1
    local m=$1
    shift
    printf '%s\n' "$@" | awk -v m="$m" '{ if (NR == 1 || $1 < x0) x0 = $1; if (NR == 1 || $2 < y0) y0 = $2;
        if ($1 + $3 > x1) x1 = $1 + $3; if ($2 + $4 > y1) y1 = $2 + $4 }
        END { x0 -= m; y0 -= m; x1 += m; y1 += m; if (x0 < 0) x0 = 0; if (y0 < 0) y0 = 0;
              if (x1 > 1280) x1 = 1280; if (y1 > 800) y1 = 800; print x0, y0, x1 - x0, y1 - y0 }'
}
# Saves the screen region "X Y W H" as $2 (a small palette PNG).
shoot() {
    local x y w h
    read -r x y w h <<<"$1"
    import -window root "$T/root.png" || return 1
    convert "$T/root.png" -crop "${w}x${h}+${x}+${y}" +repage -strip -colors 256 "PNG8:$out/$2" || return 1
    note "$2 ($w x $h)"
}
shoot_window() { # $1 id, $2 file
    local box
    box=$(frame_box "$1") || return 1
    shoot "$box" "$2"
}
window_center() {  # prints "X Y" of the client's centre
    local x y w h
    read -r x y w h < <(client_box "$1")
    echo $((x + w / 2)) $((y + h / 2))
}

# ---------------------------------------------------------------- the captures
first=$(start_program first)
pids+=("$first")

splash=$(wait_name '^铃潮$' 20)
if [ -n "$splash" ]; then
    sleep 1
    shoot_window "$splash" splash.png || fail splash.png "capture failed"
else
    fail splash.png "no splash window"
fi

# A click on the splash hands over to the clock at once (it would come by itself after 8 s).
if [ -n "$splash" ]; then
    read -r sx sy < <(window_center "$splash")
    xdotool mousemove "$sx" "$sy" click 1
fi
clock=""
for _ in $(seq 1 150); do
    for id in $(lingchao_windows); do
        read -r _ _ w h < <(client_box "$id")
        [ "${w:-0}" -le 64 ] && [ "${h:-0}" -le 64 ] && clock=$id
    done
    [ -n "$clock" ] && break
    sleep 0.1
done
if [ -z "$clock" ]; then
    fail clock.png "no clock window"
    note "the program's log:"
    cat "$T/first.err" >&2
    exit 1
fi
sleep 2  # a tick or two and the self-check of today's bells
read -r cx cy cw ch < <(client_box "$clock")
# The clock on the desktop, with a three-times enlargement beside it.
if shoot "$((cx - 80)) $((cy - 40)) 200 120" clock-desktop.tmp.png &&
    convert "$out/clock-desktop.tmp.png" \
        \( "$T/root.png" -crop "${cw}x${ch}+${cx}+${cy}" +repage -scale 300% -bordercolor '#dddddd' -border 2 \) \
        -background '#27496b' -gravity center +append -strip -colors 256 "PNG8:$out/clock.png"; then
    note "clock.png"
else
    fail clock.png "capture failed"
fi
rm -f "$out/clock-desktop.tmp.png"

# The clock's right-click menu.
lingchao_windows >"$T/before"
xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2)) click 3
menu=$(wait_new_window "$T/before" 5)
if [ -n "$menu" ]; then
    sleep 0.5
    shoot "$(union 12 "$cx $cy $cw $ch" "$(client_box "$menu")")" clock-menu.png || fail clock-menu.png "capture failed"
else
    fail clock-menu.png "no menu"
fi
xdotool key Escape
sleep 0.3

# A second copy refuses to start.
second=$(start_program second)
box=$(wait_name '^提示$' 15)
if [ -n "$box" ]; then
    sleep 0.5
    shoot_window "$box" second-copy.png || fail second-copy.png "capture failed"
    xdotool windowactivate --sync "$box" key Return
else
    fail second-copy.png "no box"
fi
timeout 5 tail --pid="$second" -f /dev/null
kill "$second" 2>/dev/null

# The main window, by a double-click on the clock.
xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2)) click --repeat 2 --delay 80 1
main=$(wait_name '^铃潮V4.0$' 10)
if [ -n "$main" ]; then
    xdotool windowmove --sync "$main" 330 160
    xdotool windowactivate --sync "$main"
    sleep 0.3
    # Select the second job (早操), the one the editor shows next: rows are 14 px high at 96 dpi, the first
    # starting 66 px below the top of the window's client area (menu bar 22 px, list 40 px further down).
    read -r mx my _ _ < <(client_box "$main")
    xdotool mousemove $((mx + 150)) $((my + 80)) click 1
    sleep 0.5
    shoot_window "$main" main-window.png || fail main-window.png "capture failed"
else
    fail main-window.png "no main window"
fi

if [ -n "$main" ]; then
    # 编辑(&E): the job editor on the selected job.
    xdotool windowactivate --sync "$main" key alt+e
    editor=$(wait_name '^修改任务$' 10)
    if [ -n "$editor" ]; then
        sleep 0.5
        shoot_window "$editor" job-editor.png || fail job-editor.png "capture failed"
        xdotool windowactivate --sync "$editor" key Escape
    else
        fail job-editor.png "no editor"
    fi
    sleep 0.5

    # 任务 → 定时关机 (the last item of the menu).
    xdotool windowactivate --sync "$main" key alt+j
    sleep 0.4
    xdotool key Up Return
    settings=$(wait_name '^定时关机$' 10)
    if [ -n "$settings" ]; then
        sleep 0.5
        shoot_window "$settings" shutdown-settings.png || fail shutdown-settings.png "capture failed"
        # 手动关机: the countdown; NO (Esc) refuses it.
        xdotool windowactivate --sync "$settings" key alt+e
        confirm=$(wait_name '^SHUTDOWN$' 10)
        if [ -n "$confirm" ]; then
            sleep 2.3
            shoot_window "$confirm" shutdown-confirm.png || fail shutdown-confirm.png "capture failed"
            xdotool windowactivate --sync "$confirm" key Escape
        else
            fail shutdown-confirm.png "no countdown"
        fi
        # Once more, and YES: there is no login manager here, so the computer stays on and says why.
        sleep 0.5
        xdotool windowactivate --sync "$settings" key alt+e
        confirm=$(wait_name '^SHUTDOWN$' 10)
        if [ -n "$confirm" ]; then
            sleep 0.3
            xdotool windowactivate --sync "$confirm" key Tab space
            refused=$(wait_name '^提示$' 10)
            if [ -n "$refused" ]; then
                sleep 0.5
                shoot_window "$refused" shutdown-refused.png || fail shutdown-refused.png "capture failed"
                xdotool windowactivate --sync "$refused" key Return
            else
                fail shutdown-refused.png "no message after YES"
            fi
        else
            fail shutdown-refused.png "no countdown"
        fi
        sleep 0.5
        settings=$(wait_name '^定时关机$' 3)
        [ -n "$settings" ] && xdotool windowactivate --sync "$settings" key Escape
    else
        fail shutdown-settings.png "no settings dialog"
    fi
    sleep 0.5

    # 播放器 → 音乐列表, then 课间音乐 from the drop-down.
    xdotool windowactivate --sync "$main" key alt+p
    sleep 0.4
    xdotool key Return
    lists=$(wait_name '^音乐列表$' 10)
    if [ -n "$lists" ]; then
        sleep 0.5
        xdotool windowactivate --sync "$lists" key alt+l
        sleep 0.2
        xdotool key F4
        sleep 0.5
        xdotool key Return
        sleep 0.8
        if wait_name '^新建列表$' 1 >/dev/null; then
            fail music-list.png "the saved list did not open"
        else
            shoot_window "$lists" music-list.png || fail music-list.png "capture failed"
        fi
        xdotool windowactivate --sync "$lists" key Escape
    else
        fail music-list.png "no music-list editor"
    fi
    sleep 0.5

    # 帮助 → 关于.
    xdotool windowactivate --sync "$main" key alt+h
    sleep 0.4
    xdotool key Return
    about=$(wait_name '^关于 铃潮$' 10)
    if [ -n "$about" ]; then
        sleep 0.5
        shoot_window "$about" about.png || fail about.png "capture failed"
        xdotool windowactivate --sync "$about" key Escape
    else
        fail about.png "no about box"
    fi
    sleep 0.5

    # 任务 → 校历(L): the school calendar.
    xdotool windowactivate --sync "$main" key alt+j
    sleep 0.4
    xdotool key l
    calendar=$(wait_name '^校历$' 10)
    if [ -n "$calendar" ]; then
        # Clear of the floating clock, which stays on top.
        xdotool windowmove --sync "$calendar" 150 240
        sleep 0.8
        shoot_window "$calendar" calendar.png || fail calendar.png "capture failed"
        xdotool windowactivate --sync "$calendar" key Escape
    else
        fail calendar.png "no calendar window"
    fi
    sleep 0.5

    # 文件 → 整理音乐路径…: the job group from the old computer, its files found by name.
    xdotool windowactivate --sync "$main" key alt+f
    sleep 0.4
    xdotool key Down Down Return
    tidy=$(wait_name '^整理音乐路径$' 10)
    if [ -n "$tidy" ]; then
        xdotool windowmove --sync "$tidy" 300 380 2>/dev/null  # clear of the clock, which floats above it
        sleep 0.5
        shoot_window "$tidy" tidy-table.png || fail tidy-table.png "capture failed"
        xdotool windowactivate --sync "$tidy" key Escape
    else
        fail tidy-table.png "no tidy table"
    fi
    sleep 0.5

    # 新建: a job whose music file is missing; once saved, the clock shows its warning mark.
    xdotool windowactivate --sync "$main" key alt+n
    editor=$(wait_name '^新建任务$' 10)
    if [ -n "$editor" ]; then
        sleep 0.3
        xdotool windowactivate --sync "$editor"
        xdotool type --delay 60 "眼保健操"
        xdotool key Return
        xdotool type --delay 60 "1030"
        xdotool key Return Return
        xdotool type --delay 20 "$app/music/眼保健操.mp3"
        xdotool key Up  # leave the path box's help text; the caret stays
        sleep 0.3
        shoot_window "$editor" job-new.png || fail job-new.png "capture failed"
        xdotool windowactivate --sync "$editor" key Return
        sleep 0.5
        wait_name '^新建任务$' 1 >/dev/null && fail job-new.png "the editor did not save"
    else
        fail job-new.png "no editor"
    fi
    sleep 2
    xdotool windowactivate --sync "$main" key alt+F4
    sleep 0.5
fi

# The self-check's mark, and its tooltip under the pointer. Qt shows a tooltip only in an active window:
# with no window of the program active, a click on the clock makes it so.
lingchao_windows >"$T/before"
xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2))
sleep 0.3
xdotool mousemove $((cx + cw / 2 + 1)) $((cy + ch / 2 + 1))
tip=$(wait_new_window "$T/before" 4)
if [ -z "$tip" ]; then
    note "no tooltip on an inactive clock; clicking it first"
    xdotool click 1
    sleep 0.3
    xdotool mousemove $((cx + cw / 2)) $((cy + ch / 2))
    tip=$(wait_new_window "$T/before" 6)
fi
if [ -n "$tip" ]; then
    sleep 0.5
    shoot "$(union 10 "$cx $cy $cw $ch" "$(client_box "$tip")")" clock-warning.png || fail clock-warning.png "capture failed"
else
    fail clock-warning.png "no tooltip on the clock"
fi

grep -h 'self-check\|FAIL' "$T/first.err" | sed 's/^/screenshots: program said: /'
if [ ${#failed[@]} -gt 0 ]; then
    note "failed: ${failed[*]}"
    exit 1
fi
note "all screenshots in $out"
