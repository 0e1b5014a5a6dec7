#!/usr/bin/env bash
# A suspend across a bell: the program starts at 07:59:58 with bells at 08:00 (880 Hz) and 08:01 (440 Hz), and
# right after the start its clock jumps to 08:00:30. The 08:00 minute still gets a tick, late, so its bell rings
# at 08:00:30; the 08:01 bell must ring on its minute all the same: in the bell log and in the recorded sound.
# Headless: windows add nothing here. Usage: suspend_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need "${CMAKE:-cmake}" python3 pulseaudio pactl pacat parec
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin
e2e_install "$build"

mkdir -p "$APP/music"
python3 - "$APP/music" <<'EOF'
import math, struct, sys, wave
for name, hz in (("早读铃.wav", 880), ("上课铃声.wav", 440)):
    with wave.open(f"{sys.argv[1]}/{name}", "wb") as w:
        w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
        w.writeframes(b"".join(struct.pack("<hh", v, v) for v in
                               (int(12000 * math.sin(2 * math.pi * hz * k / 44100)) for k in range(2 * 44100))))
EOF
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" \
    "08:00|Everyday|START|早读|$APP/music/早读铃.wav" \
    "08:01|Everyday|START|上课|$APP/music/上课铃声.wav"

e2e_start_pulse
e2e_record "$T/capture.raw"

# The program's clock is the real one plus the offset in this file, read afresh at every call; timers keep real
# pace (monotonic not faked), as they do across a real suspend.
clockfile="$T/faketime"
set_offset() {  # fake "YYYY-MM-DD HH:MM:SS" now; prints the offset
    local off
    off=$(e2e_sub "$(e2e_epoch "$1")" "$(e2e_now)")
    echo "$off" >"$clockfile.tmp"
    mv "$clockfile.tmp" "$clockfile"
    echo "$off"
}
set_offset "2026-12-07 07:59:58" >/dev/null
e2e_spawn env -C "$APP" LD_PRELOAD="$(e2e_faketime_lib)" FAKETIME_TIMESTAMP_FILE="$clockfile" FAKETIME_NO_CACHE=1 \
    DONT_FAKE_MONOTONIC=1 "$PROGRAM" >"$T/program.out" 2>"$T/program.err"
program=$E2E_LAST
e2e_wait_line "$T/program.err" "job\(s\) scheduled" 10 || e2e_fail "the scheduler did not start"
grep -q "application folder $APP, 2 job(s) scheduled" "$T/program.err" || e2e_fail "wrong application folder or group"
offset=$(set_offset "2026-12-07 08:00:30")
minute81=$(e2e_sub "$(e2e_epoch "2026-12-07 08:01:00")" "$offset")
grep -q "08:00:..\.... job" "$T/program.err" && e2e_fail "a job was examined before the jump"

e2e_sleep_until "$(python3 -c "import sys; print(float(sys.argv[1]) + 3.0)" "$minute81")"
kill -0 "$program" 2>/dev/null || e2e_fail "the program ended"
kill "$program"
wait "$program" 2>/dev/null || true

line8=$(e2e_log_lines "$APP" 08:00)
line81=$(e2e_log_lines "$APP" 08:01 | awk -F, '$8 == "fired"')
[ "$(printf '%s\n' "$line81" | grep -c .)" = 1 ] || e2e_fail "08:01 did not fire once: $(cat "$APP/bell-log.csv")"
IFS=, read -r _ _ _ late81 no81 name81 _ _ <<<"$line81"
[ "$no81,$name81" = "2,上课" ] && [ "$late81" -ge 0 ] && [ "$late81" -lt 1000 ] ||
    e2e_fail "08:01 bell: $line81"
echo "08:00 bell: ${line8:-not examined}"
echo "08:01 bell: $line81"
# The 08:00 minute had its first tick at 08:00:30: it rings then, late, within its own minute.
IFS=, read -r _ _ _ late8 _ _ _ outcome8 <<<"$line8"
[ "${outcome8:-}" = fired ] && [ "$late8" -ge 30000 ] && [ "$late8" -lt 32000 ] ||
    e2e_fail "08:00 bell after the jump: ${line8:-not examined}"

# Heard after the jump: the 08:01 tone, starting within the first second of 08:01.
e2e_bursts "$T/capture.raw" "$minute81" >"$T/sound" || e2e_fail "cannot analyse the recording"
mapfile -t bursts <"$T/sound"
after=""
for b in "${bursts[@]}"; do
    read -r lo hi freq length <<<"$b"
    echo "sound: $lo..$hi ms from 08:01:00, ~$freq Hz, $length ms"
    if [ "$hi" -ge 0 ] && [ "$lo" -lt 1000 ] && [ "$freq" -gt 400 ] && [ "$freq" -lt 480 ]; then after=$b; fi
done
[ -n "$after" ] || e2e_fail "no 440 Hz sound within the first second of 08:01 (bursts: ${bursts[*]:-none})"
read -r lo hi _ _ <<<"$after"
[ "$hi" -lt 1000 ] || e2e_fail "the 08:01 sound began $hi ms after its minute"
echo "08:01 sound began $lo..$hi ms after 08:01:00 (recording start known within $REC_WIDTH_MS ms)"
echo "PASS"
