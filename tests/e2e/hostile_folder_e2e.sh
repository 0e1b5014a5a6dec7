#!/usr/bin/env bash
# A folder turned hostile, met by the real program, headless, on a clock running ten times fast from 07:59:00 on
# Monday 2026-12-07: at 08:00 a FIFO stands where the bell's music file should be, at 08:01 a FIFO where its
# music list should be, 08:02 plays a list of a million lines naming files that do not exist, 08:03 a list that
# is a link to /dev/zero, and 08:04 a real bell. exit.dll is a FIFO, music/null.dll a link to a file of the
# user's outside the folder, and everyone may write the folder.
# Nothing may hang (every bell is examined, the last one plays), memory stays bounded, each reason reaches the
# log, the bell log gets one playback-failed line per bell and a summary, and the file outside is untouched.
# Then a timetable that is a FIFO: an empty day with its reason on the clock, until it is mended.
# Usage: hostile_folder_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need python3
lib=$(e2e_faketime_lib) || { echo "SKIP: libfaketime missing"; exit 0; }
[ -f "$build/share/music/上课铃.wav" ] || { echo "FAIL: the bells are not built"; exit 1; }
e2e_begin
APP="$T/app"
mkdir -p "$APP/music" "$T/elsewhere"
cp "$build/bin/lingchao" "$APP/"
cp "$build/share/music/上课铃.wav" "$APP/music/ok.wav"
mkfifo "$APP/music/fifo.wav" "$APP/music/fifo.m3u" "$APP/exit.dll"
ln -s /dev/zero "$APP/music/zero.m3u"
python3 -c 'import sys; sys.stdout.write("".join(f"gone{i}.wav\r\n" for i in range(1000000)))' >"$APP/music/huge.m3u"
printf 'keep' >"$T/elsewhere/victim"
ln -s "$T/elsewhere/victim" "$APP/music/null.dll"
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" \
    "08:00|Everyday|START|管道|$APP/music/fifo.wav" \
    "08:01|Everyday|START|管道列表|$APP/music/fifo.m3u" \
    "08:02|Everyday|START|长列表|$APP/music/huge.m3u" \
    "08:03|Everyday|START|设备列表|$APP/music/zero.m3u" \
    "08:04|Everyday|START|上课|$APP/music/ok.wav"
chmod 777 "$APP"

e2e_start_program program env -C "$APP" LINGCHAO_AUDIO_SINK="fakesink sync=true" LD_PRELOAD="$lib" \
    FAKETIME="@2026-12-07 07:59:00 x10" "$APP/lingchao"
e2e_wait_line "$T/program.err" "job\(s\) scheduled" 30 || e2e_fail "the scheduler did not start"
e2e_wait_line "$APP/bell-log.csv" ",08:04,.*,fired(,[^,]*){3}$" 180 || e2e_fail "the 08:04 bell was never reached"
e2e_check_alive program
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/${E2E_PROGRAM_PID[program]}/status")
e2e_stop_program program

for minute in 08:00 08:01 08:02 08:03 08:04; do
    [ "$(e2e_log_lines "$APP" "$minute" | grep -cE ',fired(,[^,]*){3}$')" = 1 ] ||
        e2e_fail "$minute was not examined once: the tick stopped? $(e2e_log_lines "$APP" "$minute")"
done
failed=$(grep -c 'playback-failed' "$APP/bell-log.csv" || true)
echo "bell log: $failed playback-failed lines; program peak memory $((peak_kb / 1024)) MB;" \
    "stderr $(stat -c %s "$T/program.err") bytes"
grep 'playback-failed' "$APP/bell-log.csv" | cut -d, -f7-
[ "$failed" -le 6 ] || e2e_fail "$failed playback-failed lines for four broken bells"
grep -q 'fifo.wav,playback-failed: not a regular file$' "$APP/bell-log.csv" || e2e_fail "no reason for the FIFO"
grep -q 'fifo.m3u,playback-failed: music list: not a regular file$' "$APP/bell-log.csv" ||
    e2e_fail "no reason for the FIFO list"
grep -q 'zero.m3u,playback-failed: music list: not a regular file$' "$APP/bell-log.csv" ||
    e2e_fail "no reason for the list linked to /dev/zero"
grep -q 'huge.m3u,"playback-failed: and 9,999 more entries failed"$' "$APP/bell-log.csv" ||
    e2e_fail "no summary for the long list"
grep -q 'ok.wav,playback-failed' "$APP/bell-log.csv" && e2e_fail "the real bell did not play"
[ "$(stat -c %s "$T/program.err")" -lt 200000 ] || e2e_fail "the log on stderr was flooded"
[ "$peak_kb" -lt $((400 * 1024)) ] || e2e_fail "peak memory $((peak_kb / 1024)) MB"

# Each reason is told, on the clock (the warnings) and in the log.
grep -q 'warning (shutdown-settings): 定时关机设置 .*exit.dll 无法读取（不是普通文件）' "$T/program.err" ||
    e2e_fail "no warning for exit.dll"
grep -q 'warning (folder-permissions): 其他用户可以写入' "$T/program.err" || e2e_fail "no warning for the open folder"
grep -q 'self-check: job 1 "管道" cannot play .*fifo.wav": 不是普通文件' "$T/program.err" ||
    e2e_fail "the self-check did not name the FIFO for what it is"

# Nothing outside the folder was touched; what was planted was replaced or left as it was.
[ "$(cat "$T/elsewhere/victim")" = keep ] || e2e_fail "the file outside the folder was changed"
[ -f "$APP/music/null.dll" ] && [ ! -L "$APP/music/null.dll" ] && [ ! -s "$APP/music/null.dll" ] ||
    e2e_fail "music/null.dll is not an empty file of its own"
[ -p "$APP/exit.dll" ] || e2e_fail "exit.dll was replaced without a save"

# A timetable that cannot be read is said so, and read again: once mended, its next bell rings.
rm "$APP/default.dll"
mkfifo "$APP/default.dll"
: >"$APP/bell-log.csv"
e2e_start_program program env -C "$APP" LINGCHAO_AUDIO_SINK="fakesink sync=true" LD_PRELOAD="$lib" \
    FAKETIME="@2026-12-07 07:59:00 x10" "$APP/lingchao"
e2e_wait_line "$T/program.err" 'warning \(timetable\): 任务表 .*default.dll 无法读取（不是普通文件）：今天不会打铃' 30 ||
    e2e_fail "no warning for a timetable that is a FIFO"
grep -q "0 job(s) scheduled" "$T/program.err" || e2e_fail "a FIFO timetable was not an empty one"
rm "$APP/default.dll"
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" "08:02|Everyday|START|上课|$APP/music/ok.wav"
e2e_wait_line "$APP/bell-log.csv" ",08:02,.*,fired(,[^,]*){3}$" 120 || e2e_fail "the mended timetable's bell did not ring"
grep -q 'warning cleared (timetable)' "$T/program.err" || e2e_fail "the warning stayed after the mend"
e2e_stop_program program
echo "PASS"
