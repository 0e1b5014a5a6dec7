#!/usr/bin/env bash
# A campus of three PCs on one Mosquitto broker on loopback: 教学楼A (main), 教学楼B (follower) and 备用A (standby for
# 教学楼A), each a copy of the program in its own application and runtime folder, headless, sharing one private
# sound server and one faked clock.
# - A timetable replaced on the main reaches both others, byte for byte, within 5 s.
# - Hostile timetables (bad checksum, 10 MB, an older version, garbage) change no file and raise a warning.
# - With the broker stopped the follower still rings on time and says, after two minutes, that it is cut off;
#   once the broker is back both catch up with what the main changed meanwhile.
# - The main killed with SIGKILL: the standby rings its next bell; the main back: the standby stands by again,
#   and no minute rings on both.
# Usage: campus_e2e.sh <build dir>   (KEEP=1 keeps the temporary folder)
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need python3 mosquitto mosquitto_pub mosquitto_sub pulseaudio pactl pacat
e2e_faketime_lib >/dev/null || { echo "SKIP: libfaketime missing"; exit 0; }
[ -x "$build/bin/lingchao" ] || { echo "FAIL: $build/bin/lingchao not built"; exit 1; }
e2e_begin
e2e_start_pulse

TOPIC=lingchao/一中/timetable
port=$(python3 -c "import socket; s = socket.socket(); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])")
# No persistence: a restarted broker has lost every retained message, as after a crash; the main sends again.
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$T/mosquitto.conf"
start_broker() {
    # shellcheck disable=SC2016  # expanded by that shell
    e2e_spawn sh -c 'exec mosquitto -c "$1" 2>>"$2"' _ "$T/mosquitto.conf" "$T/broker.log"
    BROKER=$E2E_LAST
    for _ in $(seq 1 100); do
        mosquitto_pub -h 127.0.0.1 -p "$port" -t probe -n 2>/dev/null && return 0
        sleep 0.1
    done
    e2e_fail "mosquitto does not answer on port $port: $(cat "$T/broker.log" 2>/dev/null)"
}

# One music folder for all, as a school puts the same path on every PC: the timetable is sent as it is.
mkdir -p "$T/music"
cp "$build/share/music/上课铃.wav" "$T/music/"
bell=$T/music/上课铃.wav
timetable() {  # file, names for 08:00, 08:01, ...
    local out=$1 minute=0 jobs=() name
    shift
    for name; do
        jobs+=("$(printf '08:%02d|Everyday|START|%s|%s' "$minute" "$name" "$bell")")
        minute=$((minute + 1))
    done
    python3 "$E2E_DIR/make_group.py" "$out" "${jobs[@]}"
}
# Replaced as an editor would: a whole new file renamed over the old one.
replace_timetable() {  # app folder, names...
    local app=$1
    shift
    timetable "$app/new.dll" "$@"
    mv "$app/new.dll" "$app/default.dll"
}

setup_pc() {  # folder, name, role[, standby_for]
    local app=$T/$1
    mkdir -p "$app/run" "$app/home"
    chmod 700 "$app/run"
    cp "$build/bin/lingchao" "$app/"
    printf '[campus]\nenabled=true\nbroker=127.0.0.1:%s\ncampus=一中\nname=%s\nrole=%s\n' "$port" "$2" "$3" >"$app/lingchao.ini"
    [ -z "${4:-}" ] || printf 'standby_for=%s\n' "$4" >>"$app/lingchao.ini"
}
setup_pc A 教学楼A main
setup_pc B 教学楼B follower
setup_pc C 备用A standby 教学楼A
timetable "$T/A/default.dll" 一 二 三 四 五 六 七 八 九 十
# The others start from an old timetable of their own, with no bell at 08:00.
python3 "$E2E_DIR/make_group.py" "$T/B/default.dll" "09:00|Everyday|START|旧|$bell"
cp "$T/B/default.dll" "$T/C/default.dll"

e2e_clock_env
start_pc() {  # folder, name for its output
    local app=$T/$1
    e2e_start_program "$2" env -C "$app" HOME="$app/home" XDG_RUNTIME_DIR="$app/run" "${E2E_CLOCK_ENV[@]}" "$app/lingchao"
}

# What a PC says of itself on the broker, as the main's 校园 window shows it.
status_says() {  # name, text
    mosquitto_sub -h 127.0.0.1 -p "$port" -t "lingchao/一中/status/$1" -C 1 -W 5 2>/dev/null | grep -qF "$2"
}
same_as_main() { cmp -s "$T/A/default.dll" "$T/B/default.dll" && cmp -s "$T/A/default.dll" "$T/C/default.dll"; }
# Every file of a folder and its hash, less what the program writes as it runs (the logs).
folder_state() { (cd "$T/$1" && find . -type f ! -name bell-log.csv ! -path './run/*' ! -path './home/*' -print0 |
    sort -z | xargs -0 sha256sum); }
fake_now() { date -u -d "@$(python3 -c "import sys, time; print(int(time.time() + float(sys.argv[1])))" "$(cat "$T/faketime")")" +%H:%M:%S; }
# The real epoch of a fake time of the day.
real_of() { e2e_sub "$(e2e_epoch "2026-12-08 $1")" "$(cat "$T/faketime")"; }
fired() {  # app folder, set time: the fired lines of that minute (the standby's included)
    e2e_log_lines "$T/$1" "$2" | awk -F, '$8 ~ /^fired/'
}
wait_fired() {  # folder, set time, what it must be
    e2e_wait_line "$T/$1/bell-log.csv" "^2026-12-08,$2,.*,$3(,|$)" 120 || e2e_fail "$1 did not log $3 for $2"
}
on_time() {  # folder, set time: fired once, within the limit
    local line late
    line=$(fired "$1" "$2")
    [ "$(printf '%s\n' "$line" | grep -c .)" = 1 ] || e2e_fail "$1 at $2: expected one fired line, got: $line"
    late=$(cut -d, -f4 <<<"$line")
    if [ "$late" -lt 0 ] || [ "$late" -ge "$E2E_WITHIN_MS" ]; then e2e_fail "$1 at $2: late_ms $late"; fi
}

e2e_set_clock "2026-12-08 07:50:00" >/dev/null
start_broker
start_pc A main
start_pc B follower
start_pc C standby
for pc in main follower standby; do
    e2e_wait_line "$T/$pc.err" "campus: connected to 127.0.0.1:$port" 120 || e2e_fail "$pc did not connect"
done
e2e_until 60 same_as_main || e2e_fail "the main's timetable did not reach the others at their start"
e2e_wait_line "$T/standby.err" "campus: 教学楼A is online" 60 || e2e_fail "the standby did not hear of the main"

# A timetable replaced on the main: within 5 s, the same bytes on the others.
replace_timetable "$T/A" 一 二 三 四 五 六 七 八 九 十 十一
changed=$SECONDS
e2e_until 60 same_as_main || e2e_fail "the replaced timetable did not reach the others"
echo "the replaced timetable was on both others within $((SECONDS - changed)) s"
[ $((SECONDS - changed)) -le 5 ] || e2e_fail "the replaced timetable took $((SECONDS - changed)) s to reach the others"

# Hostile timetables, sent as an intruder on the broker would, not retained (the good copy stays there).
mosquitto_sub -h 127.0.0.1 -p "$port" -t "$TOPIC" -C 1 -W 30 >"$T/retained.json" ||
    e2e_fail "no retained timetable on the broker"
timetable "$T/other.dll" 坏
before_b=$(folder_state B)
before_c=$(folder_state C)
python3 - "$T/retained.json" "$T/other.dll" "$T" <<'EOF'
import base64, hashlib, json, os, sys
good = json.load(open(sys.argv[1]))
other = open(sys.argv[2], "rb").read()
out = sys.argv[3]
def message(**change):
    m = dict(good, data=base64.b64encode(other).decode(), bytes=len(other), sha256=hashlib.sha256(other).hexdigest())
    m.update(change)
    return json.dumps(m).encode()
open(f"{out}/bad-checksum", "wb").write(message(version=good["version"] + 1000, sha256=good["sha256"]))
open(f"{out}/older", "wb").write(message(version=good["version"] - 1))
open(f"{out}/huge", "wb").write(os.urandom(10 * 1024 * 1024))
open(f"{out}/garbage", "wb").write(b"\x00\xff{not json" + os.urandom(300))
EOF
for payload in bad-checksum older huge garbage; do
    mosquitto_pub -h 127.0.0.1 -p "$port" -q 1 -t "$TOPIC" -f "$T/$payload" || e2e_fail "could not send $payload"
done
refused_all() { [ "$(grep -c 'campus: refused default.dll from the broker' "$T/$1.err")" -ge 4 ]; }
for pc in follower standby; do
    e2e_until 60 refused_all "$pc" ||
        e2e_fail "$pc refused fewer than the four hostile timetables: $(grep 'refused' "$T/$pc.err")"
done
for pc in 教学楼B 备用A; do
    e2e_until 30 status_says "$pc" 校园同步被拒绝 || e2e_fail "$pc shows no warning of the refusals"
done
grep 'campus: refused' "$T/follower.err" | sed 's/^/  follower: /'
[ "$(folder_state B)" = "$before_b" ] || e2e_fail "a hostile timetable changed the follower's files"
[ "$(folder_state C)" = "$before_c" ] || e2e_fail "a hostile timetable changed the standby's files"

# 08:00 rings on the main and the follower; the standby only notes it.
e2e_set_clock "2026-12-08 07:59:50" >/dev/null
wait_fired A 08:00 fired
wait_fired B 08:00 "一,[^,]*,fired"
wait_fired C 08:00 "standby: 教学楼A rings it"

# The broker stopped: the follower rings on, says after two minutes that it is cut off, and the main changes its
# timetable meanwhile.
kill "$BROKER"
e2e_wait_line "$T/follower.err" "campus: not connected" 60 || e2e_fail "the follower did not notice the broker gone"
replace_timetable "$T/A" 一 二 三 四 五 六 七 八 九 十 十一 十二
wait_fired B 08:01 fired
on_time B 08:01
for pc in follower standby; do
    e2e_wait_line "$T/$pc.err" "campus: cut off from 127.0.0.1:$port for 2 minutes" 200 ||
        e2e_fail "$pc did not say it is cut off"
done
wait_fired B 08:02 fired
on_time B 08:02
cmp -s "$T/A/default.dll" "$T/B/default.dll" && e2e_fail "the follower had the new timetable without a broker"

# The broker back: both catch up, and the warnings clear.
start_broker
e2e_until 60 same_as_main || e2e_fail "the others did not catch up after the broker came back"
for pc in follower standby; do
    e2e_wait_line "$T/$pc.err" "warning cleared \(campus\)" 60 || e2e_fail "$pc still says it is cut off"
    e2e_wait_line "$T/$pc.err" "warning cleared \(campus-sync\)" 60 || e2e_fail "$pc still shows the refusals"
done
grep -q "takes over" "$T/standby.err" && e2e_fail "the standby took over while the main was up"

# SIGKILL of the main, once it has rung its minute: the broker marks it offline at once (its will), and 90 s after
# it last said it was up the standby takes over, and rings the next bell.
early_in_minute() { [ "$(fake_now | cut -d: -f3)" -ge 5 ] && [ "$(fake_now | cut -d: -f3)" -lt 30 ]; }
e2e_until 70 early_in_minute || e2e_fail "the clock does not move"
kill_minute=$(fake_now | cut -d: -f1,2)
e2e_stop_program main KILL
e2e_wait_line "$T/standby.err" "campus: 教学楼A went offline" 30 || e2e_fail "the standby did not hear the main go"
e2e_wait_line "$T/standby.err" "campus: 教学楼A is offline: this standby takes over" 150 ||
    e2e_fail "the standby did not take over"
next=$(date -u -d "2026-12-08 $(fake_now | cut -d: -f1,2) 1 minute" +%H:%M)
echo "the main was killed in the minute of $kill_minute; the standby took over before $next"
wait_fired C "$next" "fired \(standby for 教学楼A\)"
on_time C "$next"

# The main back in the middle of that minute: the standby stands by again before the next bell.
e2e_sleep_until "$(real_of "$next:15")"
start_pc A main2
e2e_wait_line "$T/standby.err" "campus: 教学楼A is back: this standby stands by again" 40 ||
    e2e_fail "the standby did not hear the main come back"
after=$(date -u -d "2026-12-08 $next 1 minute" +%H:%M)
wait_fired A "$after" fired
wait_fired C "$after" "standby: 教学楼A rings it"

# No minute rang on both the main and its standby; only those between the kill and the take-over went unrung.
for minute in $(seq -f '08:%02g' 0 "$((10#${after#08:}))"); do
    n=$( (fired A "$minute"; fired C "$minute") | grep -c . || true)
    [ "$n" -le 1 ] || e2e_fail "$minute rang $n times on the main and its standby"
    [ "$n" = 1 ] || [[ "$minute" > "$kill_minute" && "$minute" < "$next" ]] || e2e_fail "nobody rang $minute"
done
echo "PASS"
