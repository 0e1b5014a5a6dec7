#!/usr/bin/env bash
# What the program costs while it waits for the next bell: the real program on a private X server with its clock
# shown and a timetable whose next bell is hours away, after the splash has gone. Over BENCH_SECONDS (default 60)
# it counts the CPU time used (utime + stime of every thread) and the voluntary context switches of every thread
# (each is a wake-up from a wait: a timer, a poll, a message; the others are preemptions by whatever else runs),
# and prints both per second, with the thread count.
# Usage: idle.sh <build dir>   `make bench_idle`
set -euo pipefail
build=$(readlink -f "$1")
seconds=${BENCH_SECONDS:-60}
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/lib.sh
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_need Xvfb openbox xprop python3
[ -x "$build/bin/lingchao" ] || { echo "no program at $build/bin/lingchao"; exit 1; }
e2e_begin
# Not faked here: GStreamer scans its plugins in a child, as on a desktop (scanned in the program itself, plugins
# such as a depth-camera driver leave threads behind that wake several times a second).
unset GST_REGISTRY_FORK
APP="$T/app"
mkdir -p "$APP/music"
cp "$build/bin/lingchao" "$APP/"
[ -f "$build/share/music/上课铃.wav" ] && cp "$build/share/music/上课铃.wav" "$APP/music/"
# One bell at 23:59: never due while this runs, but a timetable is read and watched as on a school day.
python3 "$E2E_DIR/make_group.py" "$APP/default.dll" "23:59|Everyday|START|晚|$APP/music/上课铃.wav"
e2e_start_x
e2e_spawn env -C "$APP" "$APP/lingchao" >"$T/program.out" 2>"$T/program.err"
program=$E2E_LAST
# The splash goes after 8 s; then only the clock is left, and the first checks are over.
sleep 20
kill -0 "$program" 2>/dev/null || e2e_fail "the program ended"
python3 - "$program" "$seconds" <<'PY'
import os, sys, time
pid, seconds = int(sys.argv[1]), float(sys.argv[2])
tick = os.sysconf("SC_CLK_TCK")
def sample():
    switches = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches"):
                        switches[task] = int(line.split()[1])
        except FileNotFoundError:
            pass
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / tick  # utime, stime of the whole process
    return switches, cpu
s0, c0 = sample()
t0 = time.monotonic()
time.sleep(seconds)
s1, c1 = sample()
wall = time.monotonic() - t0
# A thread that ended meanwhile took its count along: only the threads seen at the end are counted.
woke = sum(n - s0.get(task, 0) for task, n in s1.items())
print(f"idle over {wall:.0f} s: {woke / wall:.2f} wake-ups/s, CPU {100 * (c1 - c0) / wall:.3f} % of a core, "
      f"{len(s1)} threads")
PY
