#!/usr/bin/env bash
# --check of the real program as a monitor sees it: a bell whose old Windows path is found by name names the file
# that will play, and the exit code is 1 only for a problem of a bell still to ring today or tomorrow (a muted
# output on a holiday before another holiday is told, with 0).
# Usage: check_test.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
source "$here/../e2e/lib.sh"
e2e_need python3 pulseaudio pactl pacat
faketime_lib=$(e2e_faketime_lib) || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin

# A portable copy: its own folder is its application folder.
app="$T/portable"
mkdir -p "$app/music" "$T/cache"
export XDG_CACHE_HOME="$T/cache"
cp "$build/bin/lingchao" "$app/"
cp "$build/share/music/上课铃.wav" "$app/music/"
# Written on the school's old Windows PC: the path names no file here, the name does.
python3 "$here/../e2e/make_group.py" "$app/default.dll" "07:50|Everyday|START|预备|D:\\铃声\\上课铃.wav"
e2e_start_pulse

check() {  # name, expected exit code, fake time
    local rc=0
    LD_PRELOAD="$faketime_lib" FAKETIME="@$3" "$app/lingchao" --check >"$T/$1.out" 2>"$T/$1.err" || rc=$?
    [ "$rc" -eq "$2" ] || e2e_fail "$1: exit code $rc, expected $2"
}
has() { grep -qxF -- "$2" "$T/$1.out" || e2e_fail "$1: no line '$2'"; }

check found 0 "2026-12-07 07:00:00"
has found "  07:50  job 1 \"预备\"  D:\\铃声\\上课铃.wav"
has found "      plays \"$app/music/上课铃.wav\" (found by name)"
has found "ok: every bell of today and tomorrow can play"

pactl set-sink-mute cap 1
check muted_evening 1 "2026-12-07 20:00:00"  # tomorrow's 07:50 would not be heard
has muted_evening "  sound output: 声音已静音"
has muted_evening "NOT OK: 1 problem with bells still to ring today or tomorrow"

printf 'first_date,last_date,kind,argument,note\n2026-12-07,2026-12-08,holiday,,校庆\n' >"$app/calendar.csv"
check muted_holidays 0 "2026-12-07 07:00:00"
has muted_holidays "  sound output: 声音已静音  (no bell left today or tomorrow)"
has muted_holidays "ok: no bell still to ring today or tomorrow is at risk"
echo PASS
