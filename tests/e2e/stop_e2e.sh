#!/usr/bin/env bash
# Ending and starting again, headless: a SIGTERM while today's music is being checked (60 jobs on a list of
# 10,000 paths of an old computer) ends the program at once, and a copy started right after it rings; two copies
# on one application folder, each with a runtime folder of its own, never both run.
# Usage: stop_e2e.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_need python3
lib=$(e2e_faketime_lib) || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin
APP="$T/app"
mkdir -p "$APP/music" "$T/run2"
chmod 700 "$T/run2"
cp "$build/bin/lingchao" "$APP/"
# Sixty lists of 10,000 paths each, all different: the check has more than half a million files to look for.
python3 - "$APP/music" <<'PY'
import sys
for j in range(60):
    with open(f"{sys.argv[1]}/旧电脑{j}.m3u", "wb") as f:
        for k in range(10000):
            f.write(f"D:\\铃声\\旧的{j}\\第{k}首.mp3\r\n".encode("gbk"))
PY
jobs=()
for k in $(seq 0 59); do jobs+=("$(printf '%02d:%02d' $((9 + k / 60)) $((k % 60)))|Everyday|START|第${k}节|$APP/music/旧电脑$k.m3u"); done
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" "${jobs[@]}"

start() {  # name, runtime folder: starts a headless copy at 08:00 of a Monday
    e2e_spawn env -C "$APP" XDG_RUNTIME_DIR="$2" LD_PRELOAD="$lib" FAKETIME="@2026-12-07 08:00:00" \
        DONT_FAKE_MONOTONIC=1 "$APP/lingchao" >"$T/$1.out" 2>"$T/$1.err"
}
wait_line() {  # file, pattern, seconds
    local end=$((SECONDS + $3))
    until grep -q -- "$2" "$1" 2>/dev/null; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}

start first "$T/run"
first=$E2E_LAST
wait_line "$T/first.err" "job(s) scheduled" 120 || e2e_fail "the first copy did not start"
# A second copy with a runtime folder of its own, on the same application folder: refused, and says why.
start second "$T/run2"
second=$E2E_LAST
for _ in $(seq 1 600); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
kill -0 "$second" 2>/dev/null && e2e_fail "a second copy on the same folder is running"
grep -q "程序正在运行" "$T/second.err" || e2e_fail "the second copy did not say why it ended: $(tail -3 "$T/second.err")"

# The check is under way (it takes many seconds; one job's 10,000 paths took half a minute before they were
# looked for once per pass).
sleep 2
grep -q "every bell of today can play\|self-check: job" "$T/first.err" && e2e_fail "the check was over before the stop"
kill -0 "$first" 2>/dev/null || e2e_fail "the first copy ended by itself"
began=$(e2e_now)
kill -TERM "$first"
for _ in $(seq 1 600); do kill -0 "$first" 2>/dev/null || break; sleep 0.05; done
kill -0 "$first" 2>/dev/null && e2e_fail "still running 30 s after SIGTERM"
took=$(e2e_sub "$(e2e_now)" "$began")
echo "ended ${took#+} s after SIGTERM"
# Far beyond the 2 s it takes on an idle machine, far below the half minute it took before.
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 10 else 1)" "$took" || e2e_fail "it took $took s to end"

# Started again at once: it gets the guard and schedules its bells.
start again "$T/run"
wait_line "$T/again.err" "job(s) scheduled" 120 || e2e_fail "the copy started after the stop did not run"
grep -q "程序正在运行" "$T/again.err" && e2e_fail "the copy started after the stop was refused"
echo "PASS"
