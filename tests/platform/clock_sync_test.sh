#!/usr/bin/env bash
# The clock-sync watch asks a fake timedated on a private bus; the kernel's word is given to the probe.
# Usage: clock_sync_test.sh <clock_sync_probe> <fake_timedated>
set -u
probe=$1
fake=$2
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
export DBUS_SYSTEM_BUS_ADDRESS=$(head -1 "$D/addr")
export DBUS_SESSION_BUS_ADDRESS="unix:path=$D/no_session_bus"

start_fake() {
    : >"$D/fake.out"
    "$fake" "$1" >"$D/fake.out" 2>"$D/fake.err" &
    fake_pid=$!
    for _ in $(seq 1200); do grep -q ready "$D/fake.out" && return 0; sleep 0.05; done
    echo "FAIL: fake timedated did not start"; cat "$D/fake.err"; exit 1
}
stop_fake() { kill "$fake_pid" 2>/dev/null; wait "$fake_pid" 2>/dev/null; fake_pid=""; }

warning="系统时间未同步，铃声可能不准"
expect() {  # label, expected, kernel word[, system bus]
    local out
    out=$(DBUS_SYSTEM_BUS_ADDRESS=${4:-$DBUS_SYSTEM_BUS_ADDRESS} "$probe" "$3" 2>/dev/null)
    [ "$out" = "$2" ] && echo "ok: $1: $out" || fail "$1: got '$out'"
}

start_fake true
expect "both synchronised" "in sync" synced
expect "kernel unsynchronised" "$warning" unsynced
stop_fake
start_fake false
expect "timedated unsynchronised" "$warning" synced
stop_fake
expect "no timedated, kernel synchronised" "in sync" synced
expect "no timedated, kernel unsynchronised" "$warning" unsynced
expect "no bus, kernel synchronised" "in sync" synced "unix:path=$D/nothing_here"
expect "no bus, kernel unsynchronised" "$warning" unsynced "unix:path=$D/nothing_here"

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
