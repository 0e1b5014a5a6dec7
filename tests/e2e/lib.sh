# shellcheck shell=bash disable=SC2034  # E2E_DIR, REC_WIDTH_MS, PROGRAM, SHARED_MUSIC, APP, E2E_STATUS, E2E_CLOCK: for the callers
# Helpers shared by the end-to-end tests and the lateness benchmark: a temporary folder that is removed at the end,
# the program installed into it, the program started and watched, a private PulseAudio with a capture sink, a
# private X server with a window manager, and the measurement of when sound came out. Everything started here is
# stopped by its pid. Waits are for conditions, with timeouts far beyond need: these tests share a loaded machine
# with others. A wait never goes on once the program it waits on has died: it fails then and there, saying so.

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_RATE=44100
# How soon after its minute begins a bell must sound. The tests ask only that it rings within its minute; the
# benchmark (bench/e2e_lateness.cmake) runs the same scripts with the design target of 1000 ms.
E2E_WITHIN_MS=${E2E_WITHIN_MS:-60000}
E2E_NAME=$(basename "$0" .sh)
E2E_NAME=${E2E_NAME%_e2e}  # names the kept screen: /tmp/lingchao-e2e-<name>-failure.png
E2E_PIDS=()
E2E_PULSE_PIDFILE=""
# The copies of the program started by e2e_start_program and not yet ended on purpose, by name: every wait checks
# that they still run.
declare -A E2E_PROGRAM_PID=()

e2e_need() {  # tool...: skips the test when one is missing
    local tool
    for tool; do command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 0; }; done
}

e2e_begin() {  # sets T, the temporary folder
    T=$(mktemp -d /tmp/lingchao-e2e.XXXXXX)
    mkdir -p "$T/run" "$T/home"
    chmod 700 "$T/run"
    # Nothing of the caller's desktop, bus or sound server may leak in.
    export HOME="$T/home" XDG_RUNTIME_DIR="$T/run" TZ=UTC LC_ALL=C.UTF-8
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$T/no-session-bus"
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM PULSE_SERVER XDG_DATA_HOME FAKETIME LD_PRELOAD
    # libfaketime shares a semaphore with the children of a faked program; a plugin scanner killed while it
    # holds it (GStreamer kills a slow one) leaves the program waiting for ever. No scanner child, no such wait.
    export GST_REGISTRY_FORK=no
    # One GStreamer registry for every run of every test: a fresh HOME would rebuild it at each start, seconds
    # under load.
    export GST_REGISTRY="${LINGCHAO_GST_REGISTRY:-${TMPDIR:-/tmp}/lingchao-e2e-gst-registry-$(id -u).bin}"
    trap e2e_cleanup EXIT
}

e2e_cleanup() {
    local rc=$? command=$BASH_COMMAND i p
    # A command that failed outside e2e_fail (set -e) says what it was, with the same report.
    if [ "$rc" != 0 ] && [ -z "${E2E_FAILED:-}" ]; then
        echo "FAIL: '$command' ended with status $rc"
        e2e_report
    fi
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        p=${E2E_PIDS[i]}
        kill -INT "$p" 2>/dev/null || true
    done
    sleep 0.3
    for p in "${E2E_PIDS[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
    if [ -n "$E2E_PULSE_PIDFILE" ] && [ -s "$E2E_PULSE_PIDFILE" ]; then
        p=$(cat "$E2E_PULSE_PIDFILE")
        kill "$p" 2>/dev/null || true
        for _ in $(seq 1 30); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$p" 2>/dev/null || true
    fi
    wait 2>/dev/null || true
    # What libfaketime leaves behind for a faked program that was killed.
    for p in "${E2E_PIDS[@]}"; do rm -f "/dev/shm/faketime_shm_$p" "/dev/shm/sem.faketime_sem_$p"; done
    if [ -n "${KEEP:-}" ]; then echo "kept $T"; else rm -rf "$T"; fi
}

e2e_spawn() {  # command...: runs it in the background, remembered for the cleanup; E2E_LAST = its pid
    "$@" &
    E2E_LAST=$!
    E2E_PIDS+=("$E2E_LAST")
}

# Starts a copy of the program: its stdout and stderr go to $T/<name>.out and $T/<name>.err, and from now on every
# wait checks that it still runs. E2E_LAST = its pid (the command's own: env and exec keep it).
e2e_start_program() {  # name, command...
    local name=$1
    shift
    "$@" >"$T/$name.out" 2>"$T/$name.err" &
    E2E_LAST=$!
    E2E_PIDS+=("$E2E_LAST")
    E2E_PROGRAM_PID[$name]=$E2E_LAST
}

e2e_running() {  # pid: not ended, nor ended and not yet reaped
    local state=""
    kill -0 "$1" 2>/dev/null || return 1
    read -r _ _ state _ 2>/dev/null <"/proc/$1/stat" || return 1
    [ "$state" != Z ]
}

e2e_status_text() {  # exit status as `wait` gives it
    if [ "$1" -gt 128 ] && [ "$1" -lt 160 ]; then echo "$1 (killed by SIG$(kill -l $(($1 - 128))))"; else echo "$1"; fi
}

# Fails at once when a copy started by e2e_start_program (the one named, else any) has ended, with its exit status.
e2e_check_alive() {  # [name]
    local name names rc
    if [ $# -gt 0 ]; then names=("$1"); else names=("${!E2E_PROGRAM_PID[@]}"); fi
    for name in "${names[@]}"; do
        [ -n "${E2E_PROGRAM_PID[$name]:-}" ] || continue
        e2e_running "${E2E_PROGRAM_PID[$name]}" && continue
        rc=0
        wait "${E2E_PROGRAM_PID[$name]}" 2>/dev/null || rc=$?
        unset "E2E_PROGRAM_PID[$name]"
        E2E_DIED=$name
        e2e_fail "the program ($name) exited, with status $(e2e_status_text "$rc")"
    done
}

# Waits for a copy to end by itself; true once it has (E2E_STATUS = its exit status), false after the timeout.
e2e_wait_exit() {  # name, timeout seconds
    local pid=${E2E_PROGRAM_PID[$1]:-} end=$((SECONDS + $2))
    [ -n "$pid" ] || e2e_fail "no program $1 to wait for"
    unset "E2E_PROGRAM_PID[$1]"
    while e2e_running "$pid"; do
        if [ $SECONDS -ge $end ]; then
            E2E_PROGRAM_PID[$1]=$pid
            return 1
        fi
        e2e_check_alive
        sleep 0.05
    done
    E2E_STATUS=0
    wait "$pid" 2>/dev/null || E2E_STATUS=$?
}

# Ends a copy that must still be running (SIGTERM unless told), and waits until it has ended.
e2e_stop_program() {  # name[, signal]
    [ -n "${E2E_PROGRAM_PID[$1]:-}" ] || e2e_fail "no program $1 to stop"
    e2e_check_alive "$1"
    kill "-${2:-TERM}" "${E2E_PROGRAM_PID[$1]}" 2>/dev/null || true
    e2e_wait_exit "$1" 60 || e2e_fail "the program ($1) did not end within a minute of SIG${2:-TERM}"
}

# Polls a command until it succeeds; false after the timeout. The copies started stay watched meanwhile.
e2e_until() {  # timeout seconds, command...
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        e2e_check_alive
        sleep 0.1
    done
}

# On failure: what went wrong, the last screen when there is a display (kept outside the temporary folder), what
# the programs said and the bell log.
e2e_fail() {
    echo "FAIL: $*"
    e2e_report
    exit 1
}

e2e_report() {  # the last screen, the programs' output and the bell log
    E2E_FAILED=1
    local f shot
    if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        shot=${LINGCHAO_E2E_SHOTS:+$LINGCHAO_E2E_SHOTS/failure.png}
        shot=${shot:-/tmp/lingchao-e2e-$E2E_NAME-failure.png}
        if timeout 30 import -window root "$shot" 2>/dev/null; then echo "last screen kept: $shot"; else echo "no last screen"; fi
    fi
    if [ -n "${T:-}" ]; then
        # The copy that died first, and at more length.
        [ -n "${E2E_DIED:-}" ] && [ -f "$T/$E2E_DIED.err" ] && { echo "--- $T/$E2E_DIED.err"; tail -60 "$T/$E2E_DIED.err"; }
        for f in "$T"/*.err "$T"/*.out; do
            [ -s "$f" ] && [ "$f" != "$T/${E2E_DIED:-}.err" ] && { echo "--- $f"; tail -30 "$f"; }
        done
        f=${APP:-$T/app}/bell-log.csv
        [ -f "$f" ] && { echo "--- $f"; tail -40 "$f"; }
    fi
    return 0
}

e2e_now() { echo "$EPOCHREALTIME"; }

# libfaketime, preloaded directly so that the pid started is the program's own (the faketime wrapper forks).
e2e_faketime_lib() {
    local lib
    for lib in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
        [ -f "$lib" ] && { echo "$lib"; return 0; }
    done
    return 1
}

e2e_epoch() { date -u -d "$1" +%s; }  # "YYYY-MM-DD HH:MM:SS" (UTC, as the program sees it with TZ=UTC)

e2e_sub() { python3 -c "import sys; print(f'{float(sys.argv[1]) - float(sys.argv[2]):+.6f}')" "$1" "$2"; }

e2e_sleep_until() {  # real epoch seconds (fractional)
    local d
    d=$(python3 -c "import sys,time; print(max(0.0, float(sys.argv[1]) - time.time()))" "$1")
    sleep "$d"
}

# Installs the build into $T/stage. A prefix alone would still write the autostart entry to /etc (its destination
# is absolute): DESTDIR keeps every file inside $T. Sets PROGRAM, SHARED_MUSIC and APP, the application folder
# the installed copy uses: being installed (share/lingchao beside its bin folder), it keeps its data per user in
# $XDG_DATA_HOME/lingchao, here inside $T. The tests fill that folder before the first start, so the program
# finds it and does not seed it with its example timetable.
e2e_install() {  # build dir
    local build=$1
    [ -x "$build/bin/lingchao" ] || e2e_fail "$build/bin/lingchao not built"
    [ -f "$build/share/music/上课铃.wav" ] || e2e_fail "the bells are not built (make bells)"
    DESTDIR="$T/stage" "${CMAKE:-cmake}" --install "$build" --prefix /inst >"$T/install.log" 2>&1 ||
        e2e_fail "cmake --install failed: $(tail -3 "$T/install.log")"
    PROGRAM="$T/stage/inst/bin/lingchao"
    SHARED_MUSIC="$T/stage/inst/share/lingchao/music"
    export XDG_DATA_HOME="$T/data"
    APP="$XDG_DATA_HOME/lingchao"
    [ -x "$PROGRAM" ] && [ -f "$SHARED_MUSIC/上课铃.wav" ] || e2e_fail "install did not put the program and bells in place"
}

# A private sound server whose only sink is a null sink "cap"; a silent stream keeps the sink running, or the
# start of the first sound would be lost while it wakes up. The sink never rewinds: a rewind mixes a new stream's
# first milliseconds into what the monitor has already recorded, and the recording would lose them.
e2e_start_pulse() {
    export PULSE_SERVER="unix:$T/run/native"
    E2E_PULSE_PIDFILE="$T/run/pulse/pid"
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes --log-target="file:$T/pa.log" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$T/run/native" \
        --load="module-null-sink sink_name=cap rate=$E2E_RATE channels=2 norewinds=1" --load=module-always-sink \
        >"$T/pa.out" 2>&1 || e2e_fail "pulseaudio did not start: $(tail -3 "$T/pa.out")"
    for _ in $(seq 1 300); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl info >/dev/null 2>&1 || e2e_fail "pulseaudio does not answer"
    e2e_spawn pacat --playback --latency-msec=20 --device=cap </dev/zero
}

e2e_start_x() {  # sets DISPLAY; openbox keeps the clock above other windows as on a desktop
    Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$T/display" >"$T/xvfb.err" 2>&1 &
    E2E_PIDS+=($!)
    for _ in $(seq 1 300); do [ -s "$T/display" ] && break; sleep 0.1; done
    local number
    number=$(head -1 "$T/display")
    [ -n "$number" ] || e2e_fail "Xvfb did not start"
    export DISPLAY=":$number" QT_QPA_PLATFORM=xcb
    e2e_spawn openbox >"$T/openbox.err" 2>&1
    # Openbox names itself on the root before it lists what it supports; xdotool refuses to activate a window
    # until _NET_ACTIVE_WINDOW is in that list.
    for _ in $(seq 1 600); do xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW && return 0; sleep 0.1; done
    e2e_fail "the window manager did not start"
}

# Records the capture sink's monitor as raw S16LE stereo into $1 and bounds the real time t0 of its first sample:
# - from above: a watcher compares the file's length with the clock every few milliseconds; every counted sample
#   was captured before the clock was read, so t0 <= min(now - frames / rate)   (written to $1.t0hi);
# - from below: three short 2 kHz clicks are played, each from a pacat launched at a noted real time; a click
#   cannot sound before its launch, so t0 >= launch - click_onset_frame / rate   (launch times in $1.marks).
e2e_record() {  # raw file
    REC_FILE=$1
    REC_T0_LO=$(e2e_now)
    e2e_spawn parec --device=cap.monitor --format=s16le --rate=$E2E_RATE --channels=2 --latency-msec=20 >"$REC_FILE"
    cat >"$T/t0watch.py" <<'EOF'
import os, signal, sys, time
path, rate = sys.argv[1], int(sys.argv[2])
best = None
signal.signal(signal.SIGINT, lambda *_: sys.exit(0))
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
while True:
    frames = os.stat(path).st_size // 4
    now = time.time()  # read after the length: every counted sample was captured before now
    if frames:
        bound = now - frames / rate
        if best is None or bound < best:
            best = bound
            with open(path + ".t0hi.tmp", "w") as f:
                f.write(repr(best))
            os.replace(path + ".t0hi.tmp", path + ".t0hi")  # readers never see half a number
    time.sleep(0.002)
EOF
    e2e_spawn python3 "$T/t0watch.py" "$REC_FILE" "$E2E_RATE"
    for _ in $(seq 1 300); do [ -s "$REC_FILE.t0hi" ] && break; sleep 0.1; done
    [ -s "$REC_FILE.t0hi" ] || e2e_fail "parec records nothing"
    python3 -c "
import math, struct, sys
rate = int(sys.argv[2])
frames = [int(12000 * math.sin(2 * math.pi * 2000 * k / rate)) for k in range(rate * 30 // 1000)]
open(sys.argv[1], 'wb').write(b''.join(struct.pack('<hh', v, v) for v in frames))" "$T/click.raw" "$E2E_RATE"
    : >"$REC_FILE.marks"
    local i
    for i in 1 2 3; do
        sleep 0.4
        e2e_now >>"$REC_FILE.marks"
        pacat --playback --device=cap --format=s16le --rate=$E2E_RATE --channels=2 --latency-msec=20 <"$T/click.raw"
    done
    sleep 0.4
}

# Sound after the marks, one line per burst: "onset_lo_ms onset_hi_ms freq_hz length_ms", times relative to the
# real epoch $2. A burst starts at the first sample above the threshold after at least 300 ms of quiet.
# Sets REC_WIDTH_MS, the width of the bracket on t0 (and so on every onset).
e2e_bursts() {  # raw file, reference real epoch
    python3 - "$1" "$E2E_RATE" "$REC_T0_LO" "$(cat "$1.t0hi")" "$2" "$(paste -sd, "$1.marks")" >"$T/bursts" <<'EOF'
import array, sys
path, rate, t0lo, t0hi, ref = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
marks = [float(m) for m in sys.argv[6].split(",")]
data = array.array("h")
with open(path, "rb") as f:
    raw = f.read()
data.frombytes(raw[: len(raw) // 4 * 4])
n = len(data) // 2
THRESHOLD, QUIET = 1000, int(0.3 * rate)
last_loud = -QUIET - 1
bursts = []
for i in range(n):
    if abs(data[2 * i]) > THRESHOLD or abs(data[2 * i + 1]) > THRESHOLD:
        if i - last_loud > QUIET:
            bursts.append([i, i])
        bursts[-1][1] = i
        last_loud = i
def freq(start, end):
    # Dominant frequency from rising zero crossings of the left channel over at most the first 200 ms, counting
    # time only where it sounds: a loaded machine can leave gaps of silence in a sound (an underrun).
    span = min(end, start + rate // 5)
    crossings = sum(1 for k in range(start + 1, span) if data[2 * (k - 1)] < 0 <= data[2 * k])
    sounding = sum(1 for k in range(start, span) if abs(data[2 * k]) > 100)
    return crossings * rate / max(1, sounding)
if len(bursts) < len(marks) or any(abs(freq(*b) - 2000) > 200 for b in bursts[: len(marks)]):
    sys.exit("the clicks that time the recording are missing")
for mark, (start, _) in zip(marks, bursts):
    t0lo = max(t0lo, mark - start / rate)
# The null sink hands its monitor whole blocks (about the 20 ms latency asked for), so a sample's index maps onto
# real time only to within a block: both bounds get that slack, which also covers their crossing each other.
BLOCK = 0.020
if t0lo > t0hi + 2 * BLOCK:
    sys.exit(f"inconsistent bounds on the recording's start: {t0lo} > {t0hi}")
t0lo, t0hi = min(t0lo, t0hi) - BLOCK, max(t0lo, t0hi) + BLOCK
print(f"width {(t0hi - t0lo) * 1000:.0f}")
for start, end in bursts[len(marks):]:
    lo = (t0lo + start / rate - ref) * 1000
    hi = (t0hi + start / rate - ref) * 1000
    print(f"{lo:.0f} {hi:.0f} {freq(start, end):.0f} {(end - start) * 1000 / rate:.0f}")
EOF
    REC_WIDTH_MS=$(awk '$1 == "width" {print $2}' "$T/bursts")
    grep -v '^width' "$T/bursts" || true
}

# Waits until the recording holds every sample up to the real epoch $1 (fractional); fails a minute after it.
e2e_wait_recorded() {
    local need deadline
    # REC_T0_LO is before the first sample: counting from it asks for at least enough.
    need=$(python3 -c "import sys; print(max(0, int((float(sys.argv[1]) - float(sys.argv[2])) * int(sys.argv[3]))) * 4)" \
        "$1" "$REC_T0_LO" "$E2E_RATE")
    deadline=$(python3 -c "import sys, time; print(int(max(float(sys.argv[1]), time.time())) + 60)" "$1")
    while [ "$(stat -c %s "$REC_FILE")" -lt "$need" ]; do
        [ "$(date +%s)" -lt "$deadline" ] || e2e_fail "the recording stopped before $1"
        sleep 0.1
    done
}

# The program's clock is the real one plus the offset in $T/faketime, read afresh at every call (run it under
# e2e_clock_env); timers keep real pace (monotonic not faked), as they do across a real suspend.
e2e_clock_env() {
    E2E_CLOCK_ENV=(LD_PRELOAD="$(e2e_faketime_lib)" FAKETIME_TIMESTAMP_FILE="$T/faketime" FAKETIME_NO_CACHE=1
        DONT_FAKE_MONOTONIC=1)
}
e2e_set_clock() {  # fake "YYYY-MM-DD HH:MM:SS" now; prints the offset (fake - real, in seconds)
    local off
    off=$(e2e_sub "$(e2e_epoch "$1")" "$(e2e_now)")
    echo "$off" >"$T/faketime.tmp"
    mv "$T/faketime.tmp" "$T/faketime"
    echo "$off"
}

# The bell-log lines of one set time ("HH:MM"), without the header.
e2e_log_lines() {  # app folder, set time
    [ -f "$1/bell-log.csv" ] || return 0
    awk -F, -v t="$2" 'NR > 1 && $2 == t' "$1/bell-log.csv"
}

# Waits for a line of a log (the program's stderr, the bell log, ...); false after the timeout.
e2e_wait_line() {  # file, extended regex, timeout seconds
    local end=$((SECONDS + $3))
    while [ $SECONDS -lt $end ]; do
        grep -Eq "$2" "$1" 2>/dev/null && return 0
        e2e_check_alive
        sleep 0.05
    done
    return 1
}

# True once the floating clock (a 40x40 window of the program) is on screen; E2E_CLOCK = its window.
e2e_clock_up() {
    local id
    for id in $(xdotool search --onlyvisible --classname lingchao 2>/dev/null); do
        xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Geometry: 40x40" && { E2E_CLOCK=$id; return 0; }
    done
    return 1
}

# Clicks the splash away (it also gives way by itself after 8 s, which a loaded machine may take to show) until
# the clock is up; fails after two minutes.
e2e_wait_clock() {
    local splash X Y WIDTH HEIGHT
    for _ in $(seq 1 600); do
        splash=$(xdotool search --onlyvisible --name '^铃潮$' 2>/dev/null | head -1 || true)
        if [ -n "$splash" ]; then
            X=0 Y=0 WIDTH=0 HEIGHT=0
            eval "$(xdotool getwindowgeometry --shell "$splash" 2>/dev/null)"
            xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1 2>/dev/null || true
        fi
        e2e_clock_up && return 0
        e2e_check_alive
        sleep 0.2
    done
    e2e_fail "neither the splash nor the clock came up"
}
