# shellcheck shell=bash disable=SC2034  # failures: for the caller
# A private system bus and one stand-in service on it, both stopped at exit; nothing can reach a real bus.
# Sets D (a temporary folder), failures and fail(); exports DBUS_SYSTEM_BUS_ADDRESS.
command -v dbus-daemon >/dev/null || { echo "SKIP: dbus-daemon not installed"; exit 77; }

D=$(mktemp -d)
daemon_pid=""
fake_pid=""
cleanup() {
    [ -n "$fake_pid" ] && kill "$fake_pid" 2>/dev/null && wait "$fake_pid" 2>/dev/null
    [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null && wait "$daemon_pid" 2>/dev/null
    rm -rf "$D"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

dbus-daemon --session --nofork --address="unix:path=$D/system_bus_socket" --print-address=3 3>"$D/addr" \
    2>"$D/daemon.log" &
daemon_pid=$!
for _ in $(seq 1200); do [ -s "$D/addr" ] && break; sleep 0.05; done
[ -s "$D/addr" ] || { echo "FAIL: dbus-daemon did not start"; cat "$D/daemon.log"; exit 1; }
DBUS_SYSTEM_BUS_ADDRESS=$(head -1 "$D/addr")
export DBUS_SYSTEM_BUS_ADDRESS
# Nothing here may fall back to a session bus of its own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$D/no_session_bus"

start_service() {  # what it stands in for, its command...: waits for it to say "ready"
    local what=$1
    shift
    : >"$D/fake.out"
    "$@" >"$D/fake.out" 2>"$D/fake.err" &
    fake_pid=$!
    for _ in $(seq 1200); do grep -q ready "$D/fake.out" && return 0; sleep 0.05; done
    echo "FAIL: $what did not start"; cat "$D/fake.err"; exit 1
}
stop_fake() { kill "$fake_pid" 2>/dev/null; wait "$fake_pid" 2>/dev/null; fake_pid=""; }
