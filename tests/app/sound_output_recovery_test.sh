#!/usr/bin/env bash
# The sound server goes away and comes back while the real program runs (headless, its clock faked): the warning
# of the output and that of a bell rung meanwhile come up, and go by themselves once the server is back, each
# clearing told in the log. The program is allowed a few seconds; the test waits far longer, for loaded machines.
# Usage: sound_output_recovery_test.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
source "$here/../e2e/lib.sh"
e2e_need python3 pulseaudio pactl pacat
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin
# A portable copy: its own folder is its application folder.
APP="$T/app"
PROGRAM="$APP/lingchao"
mkdir -p "$APP/music"
cp "$build/bin/lingchao" "$APP/"
cp "$build/share/music/上课铃.wav" "$APP/music/"
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" "08:00|Everyday|START|上课|$APP/music/上课铃.wav"

e2e_start_pulse
e2e_clock_env
e2e_set_clock "2026-12-07 07:50:00" >/dev/null
e2e_start_program program env -C "$APP" "${E2E_CLOCK_ENV[@]}" "$PROGRAM"
err="$T/program.err"
e2e_wait_line "$err" "sound output: cap " 120 || e2e_fail "the output was never read"

# Away: the server says nothing more, the program notices its connection end.
kill "$(cat "$E2E_PULSE_PIDFILE")"
e2e_wait_line "$err" "warning \(sound-output\): 没有声音输出" 60 || e2e_fail "the lost output was not warned of"
e2e_set_clock "2026-12-07 07:59:57" >/dev/null
e2e_wait_line "$err" "warning \(silent-bell\): 铃声没有响：08:00 上课" 120 || e2e_fail "the unheard bell was not warned of"

# Back: nobody edits anything, the warnings go by themselves.
back=$SECONDS
e2e_start_pulse
e2e_wait_line "$err" "warning cleared \(sound-output\)" 120 || e2e_fail "the output's warning stayed"
e2e_wait_line "$err" "warning cleared \(silent-bell\)" 120 || e2e_fail "the unheard bell's warning stayed"
echo "both warnings cleared $((SECONDS - back)) s after the sound server came back (the program aims at < 10 s)"
e2e_check_alive program
echo PASS
