#!/usr/bin/env bash
# Drills and emergencies in the installed program, without a display, on a private sound server and session bus,
# under a faked clock:
# - 地震演练 started from the command line: the long signal, after its 120 s the two short ones, then after
#   --end-drill the all-clear, heard in that order with their gaps within 300 ms of plan; the 08:00 bell due during
#   it is logged held and not heard; a second start while it sounds is refused;
# - 紧急集合 raises a muted 40 % output to 100 % and puts it back after --end-drill, and after a kill -9 at the
#   next start.
# Usage: signal_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need "${CMAKE:-cmake}" python3 pulseaudio pactl pacat parec dbus-daemon
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin
e2e_install "$build"

mkdir -p "$APP/music"
cp "$SHARED_MUSIC/上课铃.wav" "$APP/music/上课铃.wav"
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" "08:00|Everyday|START|上课|$APP/music/上课铃.wav"

e2e_start_pulse
e2e_spawn dbus-daemon --session --nofork --address="unix:path=$T/bus" --print-address=3 3>"$T/bus.addr" 2>"$T/dbus.err"
for _ in $(seq 1 600); do [ -s "$T/bus.addr" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$T/bus.addr")
[ -n "$DBUS_SESSION_BUS_ADDRESS" ] || e2e_fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS

e2e_clock_env
e2e_set_clock "2026-12-07 07:58:00" >/dev/null
start_program() {  # name
    e2e_start_program "$1" env -C "$APP" "${E2E_CLOCK_ENV[@]}" "$PROGRAM"
    e2e_wait_line "$T/$1.err" "job\(s\) scheduled" 120 || e2e_fail "the scheduler did not start"
    # The running copy answers on the bus once it is up: until then the client finds no copy.
    answered() { ! "$PROGRAM" --end-drill 2>&1 | grep -q "没有正在运行的铃潮"; }
    e2e_until 60 answered || e2e_fail "the running copy never answered on the session bus"
}
drill() {  # expected exit status, arguments...
    local want=$1 rc=0
    shift
    "$PROGRAM" "$@" >"$T/client.out" 2>"$T/client.err" || rc=$?
    [ "$rc" = "$want" ] || e2e_fail "lingchao $* exited $rc, not $want: $(cat "$T/client.err")"
}
volume() { echo "$(pactl get-sink-volume cap | grep -o '[0-9]*%' | head -1) $(pactl get-sink-mute cap)"; }

start_program program
e2e_record "$T/capture.raw"
e2e_set_clock "2026-12-07 07:59:50" >/dev/null
drill 0 --drill 地震演练
drill 1 --drill 火灾疏散演练
grep -q "正在进行" "$T/client.err" || e2e_fail "the second start gave no reason: $(cat "$T/client.err")"
e2e_wait_line "$APP/bell-log.csv" ",上课,.*held: 演练 地震演练" 60 || e2e_fail "the 08:00 bell was not held"
e2e_wait_line "$APP/bell-log.csv" "signal-step 2/2" 200 || e2e_fail "the second step never came"
# Both short signals (2 s and their quiet) are in the recording before the end is asked for.
e2e_wait_recorded "$(python3 -c "import time; print(time.time() + 3.5)")"
drill 0 --end-drill
e2e_wait_line "$APP/bell-log.csv" "地震演练,,signal-end: 用时 00:02:0[0-9] \(结束\)" 60 || e2e_fail "the drill did not end by 结束"
e2e_wait_recorded "$(python3 -c "import time; print(time.time() + 1)")"
grep -q ",08:00,.*,上课,.*,fired" "$APP/bell-log.csv" && e2e_fail "the 08:00 bell rang during the drill"

# The recording in 20 ms frames: loud or not, and its pitch by rising zero crossings (880 Hz for 长鸣, 1500 Hz
# for 短鸣, anything else "O"). Runs of one kind become segments "kind start_ms end_ms" from the drill's first
# sound; a run broken for at most 100 ms (the long tone started again, a frame across a change) counts as one.
python3 - "$T/capture.raw" "$E2E_RATE" >"$T/segments" <<'PY'
import array, sys
rate = int(sys.argv[2]); frame = rate // 50
data = array.array("h"); raw = open(sys.argv[1], "rb").read(); data.frombytes(raw[: len(raw) // 4 * 4])
left = data[0::2]
kinds = []
for start in range(0, len(left) - frame, frame):
    part = left[start : start + frame]
    loud = max(abs(v) for v in part) > 2000
    ups = sum(1 for k in range(1, len(part)) if part[k - 1] < 0 <= part[k])
    kinds.append("." if not loud else "L" if 14 <= ups <= 21 else "S" if 26 <= ups <= 34 else "O")
# The clicks that time the recording come first: the drill begins with the first run of long tone.
first = next(i for i in range(len(kinds)) if kinds[i : i + 10] == ["L"] * 10)
runs = []
for i in range(first, len(kinds)):
    if runs and runs[-1][0] == kinds[i] and runs[-1][2] == i:
        runs[-1][2] = i + 1
    else:
        runs.append([kinds[i], i, i + 1])
merged = []
for kind, a, b in runs:
    # A frame torn by a starved sound server reads as neither tone: runs of other sound under 200 ms are such.
    if kind == "." or b - a < 3 or (kind == "O" and b - a < 10):
        continue
    # Before the first short signal everything long is the one long signal: a sound server starved of the CPU
    # drops out in the middle of it, which says nothing of when the program started and ended it.
    long_only = all(k == "L" for k, _, _ in merged) and kind == "L"
    # A short tone torn by underruns is one tone while its pieces lie closer than the second of quiet between two.
    torn_short = kind == "S" and a - merged[-1][2] <= 25 if merged else False
    if merged and merged[-1][0] == kind and (a - merged[-1][2] <= 5 or long_only or torn_short):
        merged[-1][2] = b
    else:
        merged.append([kind, a, b])
for kind, a, b in merged:
    print(kind, (a - first) * 20, (b - first) * 20)
PY
cat "$T/segments"
mapfile -t seg <"$T/segments"
read -r k1 l_on l_off <<<"${seg[0]}"
read -r k2 s1_on s1_off <<<"${seg[1]:-x 0 0}"
read -r k3 s2_on s2_off <<<"${seg[2]:-x 0 0}"
# The 08:00 bell came ten seconds into the long signal: had it sounded, its chime would split it.
[ "$k1$k2$k3" = LSS ] || e2e_fail "expected the long signal then two short ones, heard: $(tr '\n' ' ' <"$T/segments")"
# Within 300 ms: enough to tell each step and tone from its neighbours. On a loaded machine a sound server's first
# stream can start tens of milliseconds later than the next one; how close the steps come is for a benchmark.
near() { python3 -c "import sys; sys.exit(abs(float(sys.argv[1]) - float(sys.argv[2])) > 300)" "$1" "$2"; }
echo "long signal ${l_on}..${l_off} ms, short ${s1_on}..${s1_off} and ${s2_on}..${s2_off} ms"
near "$((s1_on - l_on))" 120000 || e2e_fail "the short signals began $((s1_on - l_on)) ms after the long one, not 120000"
# The long signal lasts until the first short one: no more than a starved sound server's gap between them.
python3 -c "import sys; sys.exit(int(sys.argv[2]) - int(sys.argv[1]) > 300)" "$l_off" "$s1_on" ||
    e2e_fail "the long signal ended at $l_off ms, the first short one began at $s1_on ms"
near "$((s2_on - s1_on))" 2000 || e2e_fail "the second short signal came $((s2_on - s1_on)) ms after the first, not 2000"
# A starved sound server can lose the end of a tone from the recording, never make it longer than its second.
for tone in "$s1_on $s1_off" "$s2_on $s2_off"; do
    read -r on off <<<"$tone"
    [ $((off - on)) -le 1300 ] || e2e_fail "a short signal lasted $((off - on)) ms, not 1000"
done
[ "${#seg[@]}" -ge 4 ] || e2e_fail "no all-clear after the end"

echo "an emergency raises a muted output and gives it back"
pactl set-sink-volume cap 40%
pactl set-sink-mute cap 1
drill 0 --drill 紧急集合
e2e_wait_line "$APP/bell-log.csv" "signal-volume: raised to 100% from 40% muted" 30 || e2e_fail "the volume was not raised"
[ "$(volume)" = "100% Mute: no" ] || e2e_fail "during the signal the output is $(volume)"
drill 0 --end-drill
e2e_wait_line "$APP/bell-log.csv" "signal-volume: put back to 40% muted" 30 || e2e_fail "the volume was not put back"
[ "$(volume)" = "40% Mute: yes" ] || e2e_fail "after the signal the output is $(volume)"

echo "killed while it sounds: the next start gives the volume back"
drill 0 --drill 紧急集合
# Its own raise, the second in the log: the first emergency's line is there already.
raised_twice() { [ "$(grep -c 'signal-volume: raised to 100% from 40% muted' "$APP/bell-log.csv")" -ge 2 ]; }
e2e_until 30 raised_twice || e2e_fail "the volume was not raised"
e2e_stop_program program KILL
[ "$(volume)" = "100% Mute: no" ] || e2e_fail "the kill already changed the output: $(volume)"
start_program again
e2e_wait_line "$APP/bell-log.csv" "紧急集合,,signal-end: ended abnormally" 30 || e2e_fail "the cut signal was not logged"
muted_again() { [ "$(pactl get-sink-mute cap)" = "Mute: yes" ]; }
e2e_until 30 muted_again || e2e_fail "the mute was not put back"
[ "$(volume)" = "40% Mute: yes" ] || e2e_fail "after the restart the output is $(volume)"
e2e_stop_program again
echo "PASS"
