#!/usr/bin/env bash
# The program's player on a private session bus, as desktop panels and media keys see it (playerctl, gdbus):
# a job rings a music list at 08:00; the bus shows it playing with the job's name, the list and its file; pause,
# play-pause and stop from the bus reach the real player (its output stops and goes on), and every change is
# signalled. Headless: windows add nothing here. Usage: mpris_test.sh <build dir>   (KEEP=1 keeps the folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
e2e_need dbus-daemon playerctl gdbus sox iconv python3
lib=$(e2e_faketime_lib) || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin

app="$T/app"
mkdir -p "$app/music"
cp "$build/bin/lingchao" "$app/"
sox -n -r 44100 -c 2 "$app/music/长铃.wav" synth 60 sine 440
printf '%s\r\n' "$app/music/长铃.wav" | iconv -t GBK >"$app/music/课间.m3u"
printf '%s\r\n' "$app/music/长铃.wav" | iconv -t GBK >"$app/music/课后.m3u"
# The 08:02 bell shows that the bell has gone on past the commands before it: they are handled in order.
python3 "$E2E_DIR/make_group.py" "$app/default.dll" "08:00|Everyday|START|上课|$app/music/课间.m3u" \
    "08:02|Everyday|START|下课|$app/music/课后.m3u"

e2e_spawn dbus-daemon --session --nofork --address="unix:path=$T/bus" --print-address=3 3>"$T/bus.addr" 2>"$T/dbus.err"
for _ in $(seq 1 600); do [ -s "$T/bus.addr" ] && break; sleep 0.1; done
DBUS_SESSION_BUS_ADDRESS=$(head -1 "$T/bus.addr")
[ -n "$DBUS_SESSION_BUS_ADDRESS" ] || e2e_fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS

# The output is a file written at the pace of the music, so a pause shows as a file that stops growing.
out="$T/out1.wav"
# The program's clock is the real one plus the offset in this file, read afresh at every call: it starts a
# minute early (a cold start may take seconds) and is moved to just before the bell once the program is up.
clockfile="$T/faketime"
set_clock() {  # fake "YYYY-MM-DD HH:MM:SS" now
    e2e_sub "$(e2e_epoch "$1")" "$(e2e_now)" >"$clockfile.tmp"
    mv "$clockfile.tmp" "$clockfile"
}
set_clock "2026-12-07 07:59:00"
e2e_start_program program env -C "$app" LD_PRELOAD="$lib" FAKETIME_TIMESTAMP_FILE="$clockfile" FAKETIME_NO_CACHE=1 \
    DONT_FAKE_MONOTONIC=1 \
    LINGCHAO_AUDIO_SINK="audioconvert ! audio/x-raw,format=S16LE ! wavenc ! filesink sync=true location=$T/out{n}.wav" \
    "$app/lingchao"

pc() { playerctl -p lingchao "$@" 2>/dev/null || true; }
status_is() { [ "$(pc status)" = "$1" ]; }
wait_status() {  # status, what
    e2e_until 30 status_is "$1" || e2e_fail "$2: status $(pc status), expected $1"
}
size() { stat -c %s "$out" 2>/dev/null || echo 0; }
# Playing writes every second; a write under way when the pause was asked for may still land, so a paused
# output is one that stays the same over a whole second, soon.
wait_still() {  # what
    local s1
    for _ in $(seq 1 60); do
        s1=$(size)
        sleep 1
        [ "$(size)" = "$s1" ] && return 0
        e2e_check_alive
    done
    e2e_fail "$1"
}
wait_growing() {  # what
    local s0
    s0=$(size)
    grown() { [ "$(size)" -gt "$s0" ]; }
    e2e_until 30 grown || e2e_fail "$1: the output does not grow"
}

on_bus() { playerctl -l 2>/dev/null | grep -qx lingchao; }
e2e_until 30 on_bus || e2e_fail "org.mpris.MediaPlayer2.lingchao is not on the bus"
identity=$(gdbus call --session -d org.mpris.MediaPlayer2.lingchao -o /org/mpris/MediaPlayer2 \
    -m org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2 Identity)
[ "$identity" = "(<'铃潮'>,)" ] || e2e_fail "Identity $identity"
[ "$(pc status)" = Stopped ] || e2e_fail "before the bell: status $(pc status)"
e2e_spawn playerctl -p lingchao --follow status >"$T/follow.log" 2>&1
set_clock "2026-12-07 07:59:57"

wait_status Playing "the 08:00 bell"
meta=$(pc metadata --format '{{title}}|{{album}}|{{xesam:url}}')
url=$(python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$app/music/课间.m3u")
[ "$meta" = "上课|课间|$url" ] || e2e_fail "metadata '$meta', expected '上课|课间|$url'"
wait_growing "the bell"

pc pause
wait_status Paused "pause"
wait_still "paused from the bus, the output still grows"

gdbus call --session -d org.mpris.MediaPlayer2.lingchao -o /org/mpris/MediaPlayer2 \
    -m org.mpris.MediaPlayer2.Player.PlayPause >/dev/null
wait_status Playing "play-pause"
wait_growing "play-pause"
[ "$(pc metadata title)" = "上课" ] || e2e_fail "resumed with another title"

pc stop
wait_status Stopped "stop"
[ -z "$(pc metadata title)" ] || e2e_fail "still a title after stop"
wait_still "stopped from the bus, the output still grows"
s1=$(size)
outputs=$(printf "%s\n" "$T"/out*.wav)
# The stop let go of the list: nothing to resume. Called directly, as playerctl asks nothing when CanPlay is false.
gdbus call --session -d org.mpris.MediaPlayer2.lingchao -o /org/mpris/MediaPlayer2 \
    -m org.mpris.MediaPlayer2.Player.Play >/dev/null
# The play has been handled once the 08:02 bell, set off by the clock moved after it, is on the bus. By then a
# wrong play would have played the old list again, on or into a new output, and said so on the bus.
set_clock "2026-12-07 08:01:57"
title_is() { [ "$(pc metadata title)" = "$1" ]; }
e2e_until 60 title_is 下课 || e2e_fail "the 08:02 bell is not on the bus: status $(pc status), title $(pc metadata title)"
[ "$(size)" = "$s1" ] || e2e_fail "play after stop played again: the output grew"
[ "$(comm -13 <(echo "$outputs") <(printf "%s\n" "$T"/out*.wav) | grep -c .)" = 1 ] ||
    e2e_fail "play after stop played again: outputs $(printf "%s\n" "$T"/out*.wav | tr '\n' ' ') after $(echo "$outputs" | tr '\n' ' ')"

# Desktop panels follow the changes as they are signalled.
signalled() { [ "$(tr '\n' ' ' <"$T/follow.log")" = "Stopped Playing Paused Playing Stopped Playing " ]; }
e2e_until 30 signalled || e2e_fail "signalled changes: $(tr '\n' ' ' <"$T/follow.log")"
grep -q 'job 1 "上课" set 08:00 .*: fired' "$T/program.err" || e2e_fail "the bell did not fire"
e2e_stop_program program
echo PASS
