#!/usr/bin/env bash
# Takes a screenshot of the main window with a group of five jobs under Xvfb.
# Usage: tools/screenshot-main-window.sh path/to/lingchao out.png [display-number]
# Builds nothing: give it the built program. Needs Xvfb, xdotool, ImageMagick (import), python3; openbox when present.
set -euo pipefail
binary=$(readlink -f "${1:?path of the built lingchao}")
out=$(readlink -f "$(dirname "${2:?output png}")")/$(basename "$2")
display=":${3:-99}"

work=$(mktemp -d /tmp/lingchao-shot.XXXXXX)
pids=()
program_pid=
session_pid=
cleanup() {
  # The program first: its bus wrapper then ends by itself and takes the bus down.
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  [ -n "$session_pid" ] && wait "$session_pid" 2>/dev/null || true
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The program's folder is the one its executable runs from.
cp "$binary" "$work/lingchao"
mkdir -p "$work/music" "$work/job" "$work/run"
chmod 700 "$work/run"
python3 - "$work/default.dll" <<'PY'
import struct, sys
jobs = [
    ("START", "Everyday", "07:55", "升旗"),
    ("START", "Everyday", "08:00", "第一节上课"),
    ("PAUSE", "2026-12-07", "08:45", "第一节下课"),
    ("START", "Everyday", "09:30", "眼保健操音乐"),
    ("START", "Everyday", "11:40", "午休铃声（很长的名字用来看截断）"),
]
def field(text, width):
    b = text.encode("gbk")[:width]
    return b + b" " * (width - len(b))
with open(sys.argv[1], "wb") as f:
    for no, (state, date, time, name) in enumerate(jobs, 1):
        rec = struct.pack("<h", no) + field(name, 40) + field(time, 5) + field(date, 10) + field(state, 5)
        rec += field("/music/bell%d.mp3" % no, 512) + field("", 512) * 7
        rec += struct.pack("<8h", *([0] * 8))
        assert len(rec) == 4174
        f.write(rec)
PY

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY="$display"
# Its own single-instance guard: a copy of the program the user runs does not stop the screenshot.
export XDG_RUNTIME_DIR="$work/run"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
if command -v openbox >/dev/null; then
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 0.5
fi
# A private session bus; the program is stopped first so that the bus ends with it.
if command -v dbus-run-session >/dev/null; then
  dbus-run-session -- sh -c 'echo $$ >"$1"; exec "$2"' sh "$work/program.pid" "$work/lingchao" >"$work/program.log" 2>&1 &
else
  sh -c 'echo $$ >"$1"; exec "$2"' sh "$work/program.pid" "$work/lingchao" >"$work/program.log" 2>&1 &
fi
session_pid=$!
for _ in $(seq 50); do [ -s "$work/program.pid" ] && break; sleep 0.1; done
program_pid=$(cat "$work/program.pid")
# Past the splash to the clock, then the main window as a user calls it up (Ctrl+F12).
for _ in $(seq 100); do xdotool search --onlyvisible --name '^铃潮$' >/dev/null 2>&1 && break; sleep 0.1; done
xdotool search --onlyvisible --name '^铃潮$' windowactivate --sync key Escape 2>/dev/null || true
sleep 1
xdotool key ctrl+F12
for _ in $(seq 100); do xdotool search --onlyvisible --name '铃潮V4.0' >/dev/null 2>&1 && break; sleep 0.1; done
sleep "${LINGCHAO_SHOT_WAIT:-1}"
import -window root "$out"
echo "screenshot: $out"
