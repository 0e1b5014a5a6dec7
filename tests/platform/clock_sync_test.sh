#!/usr/bin/env bash
# The clock-sync watch asks a fake timedated on a private bus; the kernel's word is given to the probe.
# Usage: clock_sync_test.sh <clock_sync_probe> <fake_timedated>
set -u
probe=$1
fake=$2
# shellcheck source-path=SCRIPTDIR source=../support/private_system_bus.sh
source "$(dirname "$0")/../support/private_system_bus.sh"
start_fake() { start_service "fake timedated" "$fake" "$1"; }

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
