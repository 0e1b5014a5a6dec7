#!/usr/bin/env bash
# Every bell proves its sound, and the next bell is ready before its minute. Headless, on a private sound server,
# the program's clock at 07:59:50 on Monday 2026-12-07 once its scheduler runs:
# - 08:00 "预备" plays a silent file: its line says fired, then "silent: ...", and the clock's mark goes up;
# - 08:01 "上课", a -6 dBFS tone, is prepared ahead of its minute and heard from its very first sample; its line
#   carries sound_ms, a peak near -6 dBFS and the sink's name and volume, and the mark is cleared.
# (A prepared bell whose job is paused before its minute is proved silent by player_sound_proof_test.)
# Usage: sound_proof_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need "${CMAKE:-cmake}" python3 pulseaudio pactl pacat parec
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin
e2e_install "$build"

mkdir -p "$APP/music"
python3 - "$APP/music" <<'PY'
import math, struct, sys, wave
def write(name, samples):
    with wave.open(f"{sys.argv[1]}/{name}", "wb") as w:
        w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
        w.writeframes(b"".join(struct.pack("<hh", v, v) for v in samples))
write("静音.wav", [0] * (2 * 44100))
# A cosine starts at its peak: the recording shows whether the very first sample was played.
write("上课.wav", [int(16384 * math.cos(2 * math.pi * 880 * k / 44100)) for k in range(3 * 44100 // 2)])
PY
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" \
    "08:00|Everyday|START|预备|$APP/music/静音.wav" \
    "08:01|Everyday|START|上课|$APP/music/上课.wav"

e2e_start_pulse
e2e_record "$T/capture.raw"

# The program starts at 07:59:00; once its scheduler runs, its clock is set to 07:59:50.
e2e_clock_env
e2e_set_clock "2026-12-07 07:59:00" >/dev/null
e2e_start_program program env -C "$APP" "${E2E_CLOCK_ENV[@]}" "$PROGRAM"
e2e_wait_line "$T/program.err" "job\(s\) scheduled" 120 || e2e_fail "the scheduler did not start"
offset=$(e2e_set_clock "2026-12-07 07:59:50")
at() { e2e_sub "$(e2e_epoch "2026-12-07 $1")" "$offset"; }  # fake HH:MM:SS in real time

e2e_wait_line "$APP/bell-log.csv" ",08:01,.*,fired," 240 || e2e_fail "the 08:01 bell was never proved"
IFS=, read -r _ _ _ late81 _ <<<"$(e2e_log_lines "$APP" 08:01 | head -1)"
e2e_wait_recorded "$(python3 -c "import sys; print(float(sys.argv[1]) + int(sys.argv[2]) / 1000 + 1.5)" \
    "$(at 08:01:00)" "$late81")"
e2e_check_alive program
e2e_stop_program program

line() { e2e_log_lines "$APP" "$1" | awk -F, -v n="$2" -v o="$3" '$5 == n && index($8, o) == 1'; }
IFS=, read -r _ _ _ _ _ _ _ _ ms0 peak0 output0 <<<"$(line 08:00 1 fired)"
[ "$peak0,$output0" = "-inf,cap 100%" ] || e2e_fail "silent bell: $(line 08:00 1 fired)"
[ "$(line 08:00 1 silent | cut -d, -f8-)" = "silent: peak -inf dBFS is under -50 dBFS" ] ||
    e2e_fail "no silent line for the silent bell"
fired=$(line 08:01 2 fired)
IFS=, read -r _ _ _ late _ _ _ _ ms peak output <<<"$fired"
echo "08:00 silent bell: sound_ms $ms0; 08:01 bell: late_ms $late, sound_ms $ms, peak $peak dBFS, output $output"
[ "$output" = "cap 100%" ] || e2e_fail "08:01 output: $fired"
python3 -c "import sys; sys.exit(not -6.5 < float(sys.argv[1]) < -5.5)" "$peak" || e2e_fail "08:01 peak: $fired"
# Started for the minute itself, it may sound before a late tick logs it fired, never before its minute.
[ "$ms" -ge 0 ] || e2e_fail "08:01 sounded before its minute: $fired"
[ -z "$(line 08:01 2 silent)" ] || e2e_fail "the heard bell was called silent"
grep -q "preparing the bell of 08:01" "$T/program.err" || e2e_fail "the 08:01 bell was not prepared ahead"
grep -q "warning (silent-bell)" "$T/program.err" || e2e_fail "the silent bell put up no warning"
grep -q "warning cleared (silent-bell)" "$T/program.err" || e2e_fail "the heard bell did not clear the warning"

# Heard: only the 08:01 tone, from its first sample on.
e2e_bursts "$T/capture.raw" "$(at 08:00:00)" >"$T/sound" || e2e_fail "cannot analyse the recording"
mapfile -t bursts <"$T/sound"
[ ${#bursts[@]} = 1 ] || e2e_fail "expected one burst of sound (the 08:01 bell), got: ${bursts[*]:-none}"
read -r lo hi freq _ <<<"${bursts[0]}"
echo "sound began $lo..$hi ms after 08:00:00, ~$freq Hz"
[ "$hi" -ge 60000 ] && [ "$freq" -gt 840 ] && [ "$freq" -lt 920 ] || e2e_fail "the sound is not the 08:01 bell"
python3 - "$T/capture.raw" "$APP/music/上课.wav" <<'PY' || e2e_fail "the 08:01 bell did not start at its first sample"
import array, sys, wave
rec = array.array("h")
raw = open(sys.argv[1], "rb").read()
rec.frombytes(raw[: len(raw) // 4 * 4])
left = rec[0::2]
with wave.open(sys.argv[2]) as w:
    bell = array.array("h", w.readframes(2000))[0::2]
# The last burst of the recording is the bell; its first sample above the noise floor is where it began.
start = None
quiet = 0
for i, v in enumerate(left):
    if abs(v) > 1000:
        if quiet > 13230:
            start = i
        quiet = 0
    else:
        quiet += 1
played = list(left[start:start + 1000])
offset = min(range(0, 1000), key=lambda k: sum(abs(a - b) for a, b in zip(played[:200], bell[k:k + 200])))
worst = max(abs(a - b) for a, b in zip(played, bell))
print(f"recorded bell begins at its sample {offset}; largest difference over its first 1000 samples: {worst}")
sys.exit(0 if offset == 0 and worst <= 2 else 1)
PY
echo "PASS"
