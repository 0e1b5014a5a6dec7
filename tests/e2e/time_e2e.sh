#!/usr/bin/env bash
# The installed program, headless, in Europe/Berlin, under a clock moved while it runs (libfaketime reading an
# offset file; timers keep real pace), with a stand-in login manager on a private system bus:
# - spring, 2026-03-29: 01:59:59 CET is followed by 03:00:00 CEST; the 02:30 job is logged missed with the jump,
#   the 03:00 job rings once, at the first tick in its minute, 03:01 rings;
# - autumn, 2026-10-25: 02:30 rings in summer time and not again when 02:00-02:59 comes round in winter time;
#   03:00 (never reached in summer time) rings once;
# - a 90-second backward step right after 03:01 rang: 03:00 and 03:01 come round again and ring nothing;
# - the sleep inhibitor is taken while bells remain today, renewed as they ring, and let go after the last.
# Each stage waits for its evidence in the logs, never for a fixed time. Usage: time_e2e.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need "${CMAKE:-cmake}" python3 dbus-daemon
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
[ -x "$build/bin/fake_logind" ] || { echo "SKIP: fake_logind not built"; exit 0; }
[ -f /usr/share/zoneinfo/Europe/Berlin ] || { echo "SKIP: tzdata missing"; exit 0; }
e2e_begin
export TZ=Europe/Berlin
# No sound is needed: name a server that is not there, so that nothing is looked for or started.
export PULSE_SERVER="unix:$T/no-sound-server"
e2e_install "$build"

mkdir -p "$APP/music"
python3 - "$APP/music/铃.wav" <<'PY'
import struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
    w.writeframes(b"".join(struct.pack("<h", 8000 if k % 16 < 8 else -8000) for k in range(4000)))
PY
music="$APP/music/铃.wav"
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" "02:30|Everyday|START|两点半|$music" \
    "03:00|Everyday|START|三点|$music" "03:01|Everyday|START|三点零一|$music" "03:02|Everyday|START|三点零二|$music"

e2e_spawn dbus-daemon --session --nofork --address="unix:path=$T/system_bus_socket" --print-address=3 \
    3>"$T/bus.addr" 2>"$T/bus.err"
for _ in $(seq 1 1200); do [ -s "$T/bus.addr" ] && break; sleep 0.05; done
[ -s "$T/bus.addr" ] || e2e_fail "dbus-daemon did not start"
DBUS_SYSTEM_BUS_ADDRESS=$(head -1 "$T/bus.addr")
export DBUS_SYSTEM_BUS_ADDRESS
e2e_spawn "$build/bin/fake_logind" accept "$T/logind" >"$T/logind.out" 2>"$T/logind.err"
e2e_wait_line "$T/logind.out" ready 60 || e2e_fail "the stand-in login manager did not start"

# The program's clock is real time plus the offset in this file, read afresh at every call.
clockfile="$T/faketime"
offset=0
set_clock() {  # UTC "YYYY-MM-DD HH:MM:SS"
    offset=$(e2e_sub "$(e2e_epoch "$1")" "$(e2e_now)")
    echo "$offset" >"$clockfile.tmp"
    mv "$clockfile.tmp" "$clockfile"
}
sleep_past() {  # until the program's clock has passed UTC "YYYY-MM-DD HH:MM:SS"
    e2e_sleep_until "$(python3 -c "import sys; print(float(sys.argv[1]) - float(sys.argv[2]) + 0.2)" \
        "$(e2e_epoch "$1")" "$offset")"
}
fired() {  # date, set time: how many fired lines
    awk -F, -v d="$1" -v t="$2" 'NR > 1 && $1 == d && $2 == t && $8 == "fired"' "$APP/bell-log.csv" 2>/dev/null |
        grep -c . || true
}
wait_fired() {  # date, set time
    local end=$((SECONDS + 30))
    while [ $SECONDS -lt $end ]; do [ "$(fired "$1" "$2")" -ge 1 ] && return 0; e2e_check_alive; sleep 0.05; done
    e2e_fail "$1 $2 did not ring"
}

set_clock "2026-03-29 00:58:00"  # 01:58 CET: start-up has a minute and a half before anything happens
e2e_start_program program env -C "$APP" LD_PRELOAD="$(e2e_faketime_lib)" FAKETIME_TIMESTAMP_FILE="$clockfile" FAKETIME_NO_CACHE=1 \
    DONT_FAKE_MONOTONIC=1 "$PROGRAM"
e2e_wait_line "$T/program.err" "job\(s\) scheduled" 60 || e2e_fail "the scheduler did not start"
e2e_wait_line "$T/logind" "why=4 bells left today, next 02:30 mode=block" 10 ||
    e2e_fail "no sleep inhibitor taken: $(cat "$T/logind" 2>/dev/null)"

echo "spring: 01:59:58 CET, then the clock leaps to summer time"
set_clock "2026-03-29 00:59:58"
wait_fired 2026-03-29 03:00
set_clock "2026-03-29 01:00:58"
wait_fired 2026-03-29 03:01

echo "autumn: 02:29:58 CEST; later 02:59:59 CEST falls back to 02:00:00 CET"
set_clock "2026-10-25 00:29:58"
wait_fired 2026-10-25 02:30
set_clock "2026-10-25 00:59:58"
e2e_wait_line "$T/program.err" "clock went back from 2026-10-25 02:59:5" 30 || e2e_fail "the fall back was not seen"
set_clock "2026-10-25 01:29:58"  # 02:29:58 CET
# Five seconds into the minute: a loaded machine that stalls the ticks for a second or two still ticks in it.
sleep_past "2026-10-25 01:30:05"
set_clock "2026-10-25 01:59:58"  # 02:59:58 CET; the jump's line proves ticks in 02:30 CET
e2e_wait_line "$T/program.err" "clock jumped from 2026-10-25 02:30:" 30 || e2e_fail "no tick in 02:30 CET"
wait_fired 2026-10-25 03:00
set_clock "2026-10-25 02:00:58"
wait_fired 2026-10-25 03:01

echo "a 90 s backward step right after 03:01 rang, then through 03:00 and 03:01 again"
sleep_past "2026-10-25 02:01:01"
offset=$(python3 -c "import sys; print(f'{float(sys.argv[1]) - 90:+.6f}')" "$offset")
echo "$offset" >"$clockfile.tmp"
mv "$clockfile.tmp" "$clockfile"
e2e_wait_line "$T/program.err" "clock went back from 2026-10-25 03:01:0" 30 || e2e_fail "the step back was not seen"
set_clock "2026-10-25 01:59:58"  # 02:59:58 CET
sleep_past "2026-10-25 02:00:01"
set_clock "2026-10-25 02:00:58"  # 03:00:58 CET
sleep_past "2026-10-25 02:01:01"
set_clock "2026-10-25 02:01:58"  # 03:01:58 CET: 03:02, the day's last bell, witnesses that 03:01 is behind
wait_fired 2026-10-25 03:02
e2e_wait_line "$T/logind" "^Released why=1 bell left today, next 03:02" 10 || e2e_fail "lock not let go: $(cat "$T/logind")"
e2e_check_alive program
e2e_stop_program program

echo "--- bell log"
cat "$APP/bell-log.csv"
echo "--- login manager"
cat "$T/logind"
# A bell nobody could hear (no sound server here) has a second line "silent: ...", and a file it could not play a
# "playback-failed: ..." one: neither is a second examination.
lines=$(tail -n +2 "$APP/bell-log.csv" | awk -F, '$8 !~ /^"?(silent|playback-failed): /')
cut -d, -f1,2,5 <<<"$lines" | sort | uniq -d | grep -q . && e2e_fail "a job has two lines for one day"
[ "$(fired 2026-03-29 03:00)$(fired 2026-03-29 03:01)" = 11 ] || e2e_fail "spring: 03:00 and 03:01 not rung once each"
for t in 02:30 03:00 03:01 03:02; do [ "$(fired 2026-10-25 $t)" = 1 ] || e2e_fail "autumn: $t not rung once"; done
grep -q '^2026-03-29,02:30,2026-03-29 03:00:0[0-9]\.[0-9]*,[0-9]*,1,两点半,.*,missed: clock jumped from 01:59:5[89] to 03:00:0[0-9]$' \
    <<<"$lines" || e2e_fail "no missed line for 02:30 in the spring gap"
# The first tick after a move of the clock comes anywhere in the second it lands in, or later on a loaded machine.
hms='[0-2][0-9]:[0-5][0-9]:[0-5][0-9]'
grep -q "^2026-03-29,03:02,2026-10-25 $hms\.[0-9]*,.*,missed: clock jumped from 03:0[12]:[0-5][0-9] to $hms\$" \
    <<<"$lines" || e2e_fail "no missed line for 03:02 of the day left when the clock leapt to October"
awk -F, '$8 == "fired" && $4 >= 1000 {bad = 1} END {exit !bad}' <<<"$lines" &&
    echo "note: a bell rang later than 1 s into its minute (a loaded machine): $(awk -F, '$8 == "fired" {print $2, $4}' <<<"$lines" | tr '\n' ' ')"
taken=$(grep -c '^Inhibit what=sleep who=铃潮 .* mode=block$' "$T/logind")
released=$(grep -c '^Released' "$T/logind")
[ "$taken" -ge 4 ] && [ "$taken" = "$released" ] || e2e_fail "inhibitor: $taken taken, $released released"
[ "$(tail -1 "$T/logind")" = "Released why=1 bell left today, next 03:02" ] || e2e_fail "the last lock was not the last let go"
echo "PASS"
