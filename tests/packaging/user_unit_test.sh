#!/usr/bin/env bash
# The program comes back after a crash or a lost display: the systemd user unit restarts it on failure and is
# bound to the graphical session, systemd-analyze finds nothing wrong with it, and the autostart entry hands the
# start over to systemd's user manager where one runs, and starts the program itself where none does.
# Usage: user_unit_test.sh <source dir> <program>
set -euo pipefail
src=$(readlink -f "$1")
program=$(readlink -f "$2")
T=$(mktemp -d /tmp/lingchao-unit.XXXXXX)
trap 'rm -rf "$T"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
unit=$src/packaging/lingchao.service
entry=$src/packaging/lingchao-autostart.desktop

grep -qx 'Restart=on-failure' "$unit" || fail "the unit does not restart the program after a failure"
grep -qx 'PartOf=graphical-session.target' "$unit" || fail "the unit is not bound to the graphical session"

if command -v systemd-analyze >/dev/null; then
    mkdir -m 700 "$T/run"
    # systemd looks a bare command up in /usr/bin and its like, where nothing is installed here.
    sed "s|^ExecStart=lingchao\$|ExecStart=$program|" "$unit" >"$T/lingchao.service"
    XDG_RUNTIME_DIR=$T/run systemd-analyze verify --user --man=no "$T/lingchao.service" >"$T/verify.log" 2>&1 ||
        { cat "$T/verify.log"; fail "systemd-analyze verify"; }
    [ ! -s "$T/verify.log" ] || { cat "$T/verify.log"; fail "systemd-analyze has remarks on the unit"; }
    echo "systemd-analyze verify: no remarks"
else
    echo "systemd-analyze missing: the unit's syntax was not checked"
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate"
fi

# The entry's command, run with stand-ins for systemctl and the program that only say they were called.
line=$(grep '^Exec=' "$entry")
[[ $line =~ ^Exec=sh\ -c\ \"(.*)\"$ ]] || fail "unexpected Exec line: $line"
script=${BASH_REMATCH[1]}
run_entry() {  # systemctl's exit status for "import-environment" and "start", or "none"; prints who ran what
    local manager=$1 start=${2:-0}
    rm -rf "$T/bin" "$T/calls"
    mkdir -p "$T/bin"
    printf '#!/bin/sh\necho "program $*" >>%s/calls\n' "$T" >"$T/bin/lingchao"
    if [ "$manager" != none ]; then
        printf '#!/bin/sh\necho "systemctl $*" >>%s/calls\ncase "$2" in import-environment) exit %s;; start) exit %s;; esac\n' \
            "$T" "$manager" "$start" >"$T/bin/systemctl"
    fi
    chmod +x "$T"/bin/*
    PATH=$T/bin /bin/sh -c "$script"
    cat "$T/calls"
}
calls=$(run_entry 0 0)
[ "$calls" = "systemctl --user import-environment DISPLAY XAUTHORITY
systemctl --user reset-failed lingchao.service
systemctl --user start lingchao.service" ] || fail "with a user manager: $calls"
calls=$(run_entry 1)
[ "$(tail -1 <<<"$calls")" = "program " ] && ! grep -q start <<<"$calls" || fail "without a user manager: $calls"
calls=$(run_entry 0 5)
[ "$(tail -1 <<<"$calls")" = "program " ] || fail "when the unit cannot start: $calls"
calls=$(run_entry none)
[ "$calls" = "program " ] || fail "without systemctl: $calls"
echo "PASS"
