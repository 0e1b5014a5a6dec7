#!/usr/bin/env bash
# A timetable brought from a Windows PC rings from the music folder: the installed program, without a display,
# with its clock set to 07:59:50, a job "上课" for 08:00 whose music is "D:\铃声\上课.MP3" (GBK, as the old program
# wrote it) and the file music/铃声/上课.mp3. The bell must sound (into a raw file), the bell log must name the file
# played "(found by name)", and the self-check must find no fault, only its note.
# Usage: found_by_name_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need "${CMAKE:-cmake}" python3 sox
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin
e2e_install "$build"

mkdir -p "$APP/music/铃声" "$APP/job"
sox "$SHARED_MUSIC/上课铃.wav" "$APP/music/铃声/上课.mp3" 2>"$T/sox.err" || e2e_fail "sox cannot write MP3: $(cat "$T/sox.err")"
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" '08:00|Everyday|START|上课|D:\铃声\上课.MP3'

e2e_start_program program env -C "$APP" LD_PRELOAD="$(e2e_faketime_lib)" FAKETIME="@2026-12-07 07:59:50" \
    LINGCHAO_AUDIO_SINK="audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=22050,channels=1 ! filesink location=$T/bell{n}.raw" \
    "$PROGRAM"

e2e_wait_line "$APP/bell-log.csv" '^2026-12-07,08:00,' 60 || e2e_fail "no bell-log line for 08:00"
e2e_wait_line "$T/program.err" 'self-check:' 60 || e2e_fail "the self-check said nothing"
# The bell has played a moment into its file (half a second of it) before the program ends.
played() { [ "$(stat -c %s "$T/bell1.raw" 2>/dev/null || echo 0)" -ge 22050 ]; }
e2e_until 60 played || e2e_fail "nothing was played"
e2e_stop_program program

line=$(grep '^2026-12-07,08:00,' "$APP/bell-log.csv" | head -1 || true)
[ -n "$line" ] || e2e_fail "no bell-log line for 08:00"
expected="$APP/music/铃声/上课.mp3 (found by name),fired"
[[ "$line" == *",1,上课,$expected,"* ]] || e2e_fail "unexpected bell-log line: $line (wanted ...,1,上课,$expected)"
grep -q "playback-failed" "$APP/bell-log.csv" && e2e_fail "playback failed"
grep -q 'self-check: .*cannot play' "$T/program.err" && e2e_fail "the self-check found a fault"
grep -qF "self-check: job 1 \"上课\" plays \"D:\\铃声\\上课.MP3\" as \"$APP/music/铃声/上课.mp3\" (found by name)" \
    "$T/program.err" || e2e_fail "the self-check did not note the file found by name"
grep -qF "(found by name)" "$T/program.err" || e2e_fail "the player did not log the file found by name"

[ -s "$T/bell1.raw" ] || e2e_fail "nothing was played"
rms=$(sox -t raw -e signed -b 16 -r 22050 -c 1 "$T/bell1.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
python3 -c "import sys; sys.exit(float(sys.argv[1]) < 0.01)" "$rms" || e2e_fail "the bell was silent (RMS $rms)"
echo "bell log: $line; RMS of the sound played $rms"
echo "PASS"
