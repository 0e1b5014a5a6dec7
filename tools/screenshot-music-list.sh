#!/usr/bin/env bash
# Takes a screenshot of the music-list editor with a list of three entries opened, under Xvfb and openbox.
# Usage: tools/screenshot-music-list.sh path/to/music_list_preview out.png [display-number]
# Builds nothing: give it the built preview program (tests/ui). Needs Xvfb and ImageMagick (import).
set -euo pipefail
preview=$(readlink -f "${1:?path of the built music_list_preview}")
out=$(readlink -f "$(dirname "${2:?output png}")")/$(basename "$2")
display=":${3:-95}"

work=$(mktemp -d /tmp/lingchao-musiclist-shot.XXXXXX)
pids=()
session_pid=
cleanup() {
  # The preview ends by itself; its bus session then takes its dbus-daemon down (killing it would leave the daemon).
  [ -n "$session_pid" ] && wait "$session_pid" 2>/dev/null || true
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY="$display"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
if command -v openbox >/dev/null; then
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 0.5
fi
runner=()
command -v dbus-run-session >/dev/null && runner=(dbus-run-session --)
wait_seconds=${LINGCHAO_SHOT_WAIT:-3}
"${runner[@]}" "$preview" "$work/music" $((wait_seconds + 2)) >"$work/preview.log" 2>&1 &
session_pid=$!
sleep "$wait_seconds"
import -window root "$out"
echo "screenshot: $out"
