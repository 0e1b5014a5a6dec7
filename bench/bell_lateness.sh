#!/usr/bin/env bash
# How late the bells of a generated school morning ring: the program runs headless with its clock sped up
# (faketime "x<speed>", timers sped up alike) from 07:59:00 through a timetable with a bell every 3 minutes,
# some paused, some dated another day and some sharing a minute. Its start-up (~0.5 s, ten seconds of a clock
# x20) must end before 08:00, or the first bell is rightly skipped. Then the bell log must list every job whose
# minute came, once, with the outcome it should have; the figures are the count per outcome and the median and
# worst late_ms of the fired bells (in the program's clock; divide by the speed for real milliseconds).
# Usage: bell_lateness.sh <build dir>   environment: BENCH_SPEED (default 20), BENCH_MINUTES (default 90)
set -euo pipefail
build=$(readlink -f "$1")
speed=${BENCH_SPEED:-20}
minutes=${BENCH_MINUTES:-90}
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/lib.sh
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_need python3
lib=$(e2e_faketime_lib) || { echo "SKIP: libfaketime missing"; exit 0; }
[ -x "$build/bin/lingchao" ] || { echo "no program at $build/bin/lingchao"; exit 1; }
e2e_begin
APP="$T/app"
mkdir -p "$APP/music"
cp "$build/bin/lingchao" "$APP/"
[ -f "$build/share/music/上课铃.wav" ] && cp "$build/share/music/上课铃.wav" "$APP/music/"

# The timetable and, beside it, what each job's minute must bring.
python3 - "$APP" "$minutes" "$E2E_DIR/make_group.py" <<'EOF' >"$T/jobs"
import subprocess, sys
app, minutes, maker = sys.argv[1], int(sys.argv[2]), sys.argv[3]
music = f"{app}/music/上课铃.wav"
jobs, expect = [], []
for k, m in enumerate(range(0, minutes + 1, 3)):
    hhmm = f"{8 + m // 60:02d}:{m % 60:02d}"
    state, date, outcome = "START", "Everyday", "fired"
    if k % 5 == 3:
        state, outcome = "PAUSE", "paused"
    elif k % 7 == 5:
        date, outcome = "2026-12-08", "other-date"
    elif k % 4 == 1:
        date = "2026-12-07"
    jobs.append(f"{hhmm}|{date}|{state}|第{k + 1}节|{music}")
    expect.append((hhmm, len(jobs), outcome))
    if k % 6 == 2:  # a second bell of the same minute: held back by the first
        jobs.append(f"{hhmm}|Everyday|START|第{k + 1}节又|{music}")
        expect.append((hhmm, len(jobs), "locked" if outcome == "fired" else "fired"))
jobs.append("07:30|Everyday|START|早到|" + music)  # before the start: never examined
subprocess.run([sys.executable, maker, f"{app}/default.dll", *jobs], check=True)
for hhmm, no, outcome in expect:
    print(hhmm, no, outcome)
EOF
last=$(tail -1 "$T/jobs" | cut -d' ' -f1)
run_fake=$(( $(e2e_epoch "2026-12-07 $last:00") + 5 - $(e2e_epoch "2026-12-07 07:59:00") ))
wall=$(python3 -c "import sys; print(int(sys.argv[1]) / float(sys.argv[2]))" "$run_fake" "$speed")
echo "$(grep -c . "$T/jobs") jobs from 08:00 to $last, clock x$speed: about ${wall%.*} s"

started=$SECONDS
e2e_spawn env -C "$APP" LD_PRELOAD="$lib" FAKETIME="@2026-12-07 07:59:00 x$speed" "$APP/lingchao" \
    >"$T/program.out" 2>"$T/program.err"
program=$E2E_LAST
sleep "$wall"
kill -0 "$program" 2>/dev/null || { echo "FAIL: the program ended"; tail "$T/program.err"; exit 1; }
kill "$program"
wait "$program" 2>/dev/null || true
echo "wall time $((SECONDS - started)) s"

python3 - "$APP/bell-log.csv" "$T/jobs" "$speed" <<'EOF'
import csv, statistics, sys
log, jobs, speed = sys.argv[1], sys.argv[2], float(sys.argv[3])
with open(log, newline="", encoding="utf-8") as f:
    # A bell nobody heard has a second line "silent: ..." of its own, and a file it could not play a
    # "playback-failed: ..." one: not a second examination.
    rows = [r for r in csv.DictReader(f)
            if r["set_time"] and not r["outcome"].startswith(("silent: ", "playback-failed: "))]
expected = {}
for line in open(jobs):
    hhmm, no, outcome = line.split()
    expected[(hhmm, int(no))] = outcome
seen, problems = {}, []
for r in rows:
    key = (r["set_time"], int(r["job_no"]))
    if key in seen:
        problems.append(f"job {key} examined twice")
    seen[key] = r["outcome"]
    if key not in expected:
        problems.append(f"job {key} examined but its minute never came")
for key, outcome in expected.items():
    if key not in seen:
        problems.append(f"job {key} missing from the bell log")
    elif seen[key] != outcome:
        problems.append(f"job {key}: {seen[key]}, expected {outcome}")
counts = {}
for r in rows:
    counts[r["outcome"]] = counts.get(r["outcome"], 0) + 1
print("examined jobs:", len(rows), "by outcome:", ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
def report(what, fired):
    late = sorted(int(r["late_ms"]) for r in fired)
    if not late:
        return
    med, worst = statistics.median(late), late[-1]
    print(f"{what}: {len(late)}; late_ms median {med:.0f}, worst {worst} (program clock, x{speed:g}); "
          f"in real time median {med / speed:.1f} ms, worst {worst / speed:.1f} ms")
fired = [r for r in rows if r["outcome"] == "fired"]
report("fired bells", fired)
# Every job of a minute is examined at its first tick: a bell stored second in its minute rings as early as the first.
first = {}
for hhmm, no in expected:
    first.setdefault(hhmm, no)
report("  of them first in their minute", [r for r in fired if first.get(r["set_time"]) == int(r["job_no"])])
report("  of them second in their minute", [r for r in fired if first.get(r["set_time"]) != int(r["job_no"])])
late = fired
failed = [r for r in open(log, encoding="utf-8") if "playback-failed" in r]
if failed:
    print("playback failures:", len(failed))
for p in problems:
    print("PROBLEM:", p)
sys.exit(1 if problems or not late else 0)
EOF
