#!/usr/bin/env bash
# The real logind requester and sleep inhibitor against a fake login manager on a private bus.
# Usage: shutdown_requester_test.sh <probe> <fake_logind> [<sleep_inhibitor_probe>]
set -u
probe=$1
fake=$2
inhibitor=${3:-}
# shellcheck source-path=SCRIPTDIR source=../support/private_system_bus.sh
source "$(dirname "$0")/../support/private_system_bus.sh"
start_fake() { start_service "fake login manager" "$fake" "$1" "$D/calls"; }

# expect <label> <probe output> <first field> [reason] [detail part]
expect() {
    local label=$1 out=$2 status reason detail
    IFS=$'\t' read -r status reason detail <<<"$out"
    [ "$status" = "$3" ] || { fail "$label: got '$out'"; return; }
    [ -z "${4:-}" ] || [ "$reason" = "$4" ] || fail "$label: reason '$reason'"
    [ -z "${5:-}" ] || [[ "$detail" == *"$5"* ]] || fail "$label: detail '$detail'"
    echo "ok: $label: $out"
}

start_fake accept
expect "accepted" "$("$probe" 30000)" accepted
[ "$(cat "$D/calls" 2>/dev/null)" = "PowerOff interactive=false" ] || fail "call recorded: '$(cat "$D/calls")'"
stop_fake

: >"$D/calls"
start_fake deny
expect "refused" "$("$probe" 30000)" refused "当前用户没有关机的权限" "org.freedesktop.DBus.Error.AccessDenied"
[ "$(cat "$D/calls")" = "PowerOff interactive=false" ] || fail "refused call recorded: '$(cat "$D/calls")'"
stop_fake

# An answer that comes only after 20 s: with its own 1 s timeout the requester gives up first (with D-Bus's
# default 25 s it would wait and see "accepted"). No limit on the wall time: that would fail on a loaded machine.
start_fake late
began=$(date +%s%N)
expect "no answer" "$("$probe" 1000)" refused "系统登录管理器没有应答" "NoReply"
echo "no answer: refused after $(( ($(date +%s%N) - began) / 1000000 )) ms (timeout 1000 ms)"
stop_fake

expect "no login manager" "$("$probe" 30000)" refused "找不到系统登录管理器（systemd-logind 未运行）" "ServiceUnknown"

expect "no bus" "$(DBUS_SYSTEM_BUS_ADDRESS="unix:path=$D/nothing_here" "$probe" 30000)" refused \
    "无法连接系统消息总线（本机没有运行系统 D-Bus 服务）"

# The sleep inhibitor: a new reason takes a new lock before the old one goes; release and quit let go.
if [ -n "$inhibitor" ]; then
    wait_record() {  # count of lines matching $1 to reach $2
        for _ in $(seq 1200); do [ "$(grep -c "$1" "$D/calls" 2>/dev/null)" -ge "$2" ] && return 0; sleep 0.05; done
        return 1
    }
    : >"$D/calls"
    start_fake accept
    out=$("$inhibitor" "hold:2 bells left today, next 09:00" "hold:1 bells left today, next 10:00" release \
        "hold:1 bells left today, next 10:00" quit 2>"$D/inhibitor.err")
    expected="hold:2 bells left today, next 09:00: held 2 bells left today, next 09:00
hold:1 bells left today, next 10:00: held 1 bells left today, next 10:00
release: none
hold:1 bells left today, next 10:00: held 1 bells left today, next 10:00
quit"
    [ "$out" = "$expected" ] || fail "inhibitor steps: '$out'"
    wait_record Released 3 || fail "locks not all released: $(cat "$D/calls")"
    # The second lock is asked for before the first is let go, so those three lines come in this order. After
    # "release" the lock is let go before the next is asked for, but the login manager may read the new request
    # before it notices the closed pipe: the last three lines come in either order.
    first_calls="Inhibit what=sleep who=铃潮 why=2 bells left today, next 09:00 mode=block
Inhibit what=sleep who=铃潮 why=1 bells left today, next 10:00 mode=block
Released why=2 bells left today, next 09:00"
    last_calls="Inhibit what=sleep who=铃潮 why=1 bells left today, next 10:00 mode=block
Released why=1 bells left today, next 10:00
Released why=1 bells left today, next 10:00"
    [ "$(head -n 3 "$D/calls")" = "$first_calls" ] &&
        [ "$(tail -n +4 "$D/calls" | LC_ALL=C sort)" = "$(LC_ALL=C sort <<<"$last_calls")" ] ||
        fail "inhibitor calls: $(cat "$D/calls")"
    [ "$failures" -eq 0 ] && echo "ok: inhibitor taken, replaced without a gap, released, let go at quit"
    stop_fake

    out=$("$inhibitor" "hold:2 bells left today, next 09:00" "hold:1 bells left today, next 10:00" 2>"$D/inhibitor.err")
    [ "$out" = "hold:2 bells left today, next 09:00: none
hold:1 bells left today, next 10:00: none" ] || fail "inhibitor without a login manager: '$out'"
    [ "$(grep -c "cannot keep the computer awake" "$D/inhibitor.err")" = 1 ] ||
        fail "not logged once without a login manager: $(cat "$D/inhibitor.err")"
    [ "$failures" -eq 0 ] && echo "ok: inhibitor without a login manager: $(head -1 "$D/inhibitor.err")"
fi

[ "$failures" -eq 0 ] || exit 1
echo "all passed"
