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

e2e_spawn env -C "$APP" LD_PRELOAD="$(e2e_faketime_lib)" FAKETIME="@2026-12-07 07:59:50" \
    LINGCHAO_AUDIO_SINK="audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=22050,channels=1 ! filesink location=$T/bell{n}.raw" \
    "$PROGRAM" >"$T/program.out" 2>"$T/program.err"
program=$E2E_LAST

for _ in $(seq 1 300); do
    grep -q '^2026-12-07,08:00,' "$APP/bell-log.csv" 2>/dev/null && grep -q 'self-check:' "$T/program.err" && break
    kill -0 "$program" 2>/dev/null || e2e_fail "the program ended"
    sleep 0.1
done
# Let the bell play a moment into its file before the program ends.
sleep 1
kill "$program"
wait "$program" 2>/dev/null || true

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
