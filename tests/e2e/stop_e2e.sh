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
    e2e_start_program "$1" env -C "$APP" XDG_RUNTIME_DIR="$2" LD_PRELOAD="$lib" FAKETIME="@2026-12-07 08:00:00" \
        DONT_FAKE_MONOTONIC=1 "$APP/lingchao"
}
read_bytes() { awk '/^rchar:/ {print $2}' "/proc/${E2E_PROGRAM_PID[$1]}/io" 2>/dev/null || echo 0; }  # name

start first "$T/run"
e2e_wait_line "$T/first.err" "job\(s\) scheduled" 120 || e2e_fail "the first copy did not start"
started_bytes=$(read_bytes first)
# A second copy with a runtime folder of its own, on the same application folder: refused, and says why.
start second "$T/run2"
e2e_wait_exit second 60 || e2e_fail "a second copy on the same folder is running"
grep -q "程序正在运行" "$T/second.err" || e2e_fail "the second copy did not say why it ended: $(tail -3 "$T/second.err")"

# The check is under way (it takes many seconds; one job's 10,000 paths took half a minute before they were
# looked for once per pass): it has read a few of the lists, a quarter of a megabyte each.
reading() { [ "$(read_bytes first)" -ge $((started_bytes + 1000000)) ]; }
e2e_until 120 reading || e2e_fail "the check read no lists"
e2e_check_alive first
began=$(e2e_now)
kill -TERM "${E2E_PROGRAM_PID[first]}"
e2e_wait_exit first 30 || e2e_fail "still running 30 s after SIGTERM"
took=$(e2e_sub "$(e2e_now)" "$began")
# Stopped while it was under way: the check never told what it found.
grep -q "self-check: job" "$T/first.err" && e2e_fail "the check was over before the stop"
echo "ended ${took#+} s after SIGTERM"
# Far beyond the 2 s it takes on an idle machine, far below the half minute it took before.
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 10 else 1)" "$took" || e2e_fail "it took $took s to end"

# Started again at once: it gets the guard and schedules its bells.
start again "$T/run"
e2e_wait_line "$T/again.err" "job\(s\) scheduled" 120 || e2e_fail "the copy started after the stop did not run"
grep -q "程序正在运行" "$T/again.err" && e2e_fail "the copy started after the stop was refused"
echo "PASS"
