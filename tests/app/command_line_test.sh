#!/usr/bin/env bash
# The command line of the real program: --help, --version, a bad option, --check, --import and the drill options
# without a running copy, with their exit codes; none of them may start the program, and only --import writes into
# its folder, never into the current one.
# Usage: command_line_test.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../e2e/lib.sh
source "$here/../e2e/lib.sh"
e2e_need flock pulseaudio pactl pacat
# The library rather than the faketime wrapper: the wrapper fails when a killed one left its semaphore under
# the same process id.
faketime_lib=$(e2e_faketime_lib) || { echo "SKIP: libfaketime missing"; exit 0; }
e2e_begin

mkdir -p "$T/cwd" "$T/cache" "$T/portable/music" "$T/portable/job"
export XDG_CACHE_HOME="$T/cache"
# A portable copy: its own folder is its application folder.
prog="$T/portable/lingchao"
cp "$build/bin/lingchao" "$prog"
cp "$build/share/music/上课铃.wav" "$T/portable/music/"
cd "$T/cwd"

snapshot() { (cd "$1" && find . -printf '%p %s %T@ %m\n' | sort && find . -type f -exec md5sum {} + | sort); }
run() {  # name, expected exit code, arguments...
    local name=$1 want=$2 rc=0
    shift 2
    LD_PRELOAD="$faketime_lib" FAKETIME="@2026-12-07 07:00:00" "$prog" "$@" >"$T/$name.out" 2>"$T/$name.err" || rc=$?
    [ "$rc" -eq "$want" ] || e2e_fail "$name: exit code $rc, expected $want"
}

before=$(snapshot "$T/portable")
run version 0 --version
[ "$(cat "$T/version.out")" = "lingchao 4.0.2" ] || e2e_fail "--version printed '$(cat "$T/version.out")'"
run version_short 0 -v
run help 0 --help
grep -q '^Usage: lingchao \[options\]' "$T/help.out" || e2e_fail "--help has no usage line"
for o in "-h," --help "-v," --version --check "--import <DIR>" "--drill <NAME>" --next-drill --end-drill; do grep -q -- "$o" "$T/help.out" || e2e_fail "--help does not name $o"; done
! grep -q -- '--help-all' "$T/help.out" || e2e_fail "--help offers Qt's --help-all"
for bad in --bogus -x stray --check=1 --import "--check --import=$T/cwd" --drill "--drill 地震演练 --end-drill" \
    "--next-drill --check" --end-drill=1; do
    # shellcheck disable=SC2086  # the last one is two options
    run bad 2 $bad
    grep -q '^Usage: lingchao' "$T/bad.err" || e2e_fail "$bad: no usage on stderr"
    [ ! -s "$T/bad.out" ] || e2e_fail "$bad: wrote to stdout"
done
# The drill options with no running copy: the bus named but absent, or none at all (and none is started).
for no_copy in "--drill 地震演练" --next-drill --end-drill; do
    # shellcheck disable=SC2086  # --drill takes its name
    run no_copy 1 $no_copy
    [ "$(cat "$T/no_copy.err")" = "没有正在运行的铃潮" ] || e2e_fail "$no_copy: stderr '$(cat "$T/no_copy.err")'"
    [ ! -s "$T/no_copy.out" ] || e2e_fail "$no_copy: wrote to stdout"
done
rc=0
env -u DBUS_SESSION_BUS_ADDRESS "$prog" --end-drill >"$T/no_bus.out" 2>"$T/no_bus.err" || rc=$?
[ "$rc" -eq 1 ] && [ "$(cat "$T/no_bus.err")" = "没有正在运行的铃潮" ] || e2e_fail "without a bus: $rc, $(cat "$T/no_bus.err")"
[ "$(snapshot "$T/portable")" = "$before" ] || e2e_fail "an option changed the application folder"
[ -z "$(ls -A "$T/cwd")" ] || e2e_fail "an option wrote into the current folder: $(ls -A "$T/cwd")"
[ -z "$(ls -A "$T/run")" ] || e2e_fail "an option touched the single-instance guard or started a bus"

# --check: Monday 2026-12-07; job 3's Monday song is missing, job 2 rings only tomorrow; no sound server yet.
good="$T/portable/music/上课铃.wav"
python3 "$here/../e2e/make_group.py" "$T/portable/default.dll" \
    "07:50|Everyday|START|预备|$good" "08:30|2026-12-08|START|考试|$good" "09:00|Everyday|START|升旗|$T/portable/music/升旗.wav"
before=$(snapshot "$T/portable")
# Run beside a running copy: the guard is held all along.
flock_run() {
    local name=$1 want=$2 rc=0
    flock "$T/run/lingchao.lock" env LD_PRELOAD="$faketime_lib" FAKETIME="@2026-12-07 07:00:00" "$prog" --check >"$T/$name.out" 2>"$T/$name.err" || rc=$?
    [ "$rc" -eq "$want" ] || e2e_fail "$name: exit code $rc, expected $want"
}
flock_run check_bad 1
grep -q "^application folder: $T/portable$" "$T/check_bad.out" || e2e_fail "--check does not name the folder"
grep -q "^today, Monday 2026-12-07: 2 bells$" "$T/check_bad.out" || e2e_fail "today's bells"
grep -q "^  07:50  job 1 \"预备\"  $good$" "$T/check_bad.out" || e2e_fail "today's first bell"
grep -q "^tomorrow, Tuesday 2026-12-08: 3 bells$" "$T/check_bad.out" || e2e_fail "tomorrow's bells"
grep -q "^  08:30  job 2 \"考试\"  $good$" "$T/check_bad.out" || e2e_fail "tomorrow's exam bell"
grep -q "job 3 \"升旗\" cannot play \"$T/portable/music/升旗.wav\": 文件不存在" "$T/check_bad.out" || e2e_fail "missing file not told"
grep -q "^  sound output: 没有声音输出$" "$T/check_bad.out" || e2e_fail "no sound server not told"
grep -q "^NOT OK: 3 problems with bells still to ring today or tomorrow$" "$T/check_bad.out" || e2e_fail "no verdict"
[ "$(snapshot "$T/portable")" = "$before" ] || e2e_fail "--check changed the application folder"

cp "$good" "$T/portable/music/升旗.wav"
e2e_start_pulse
before=$(snapshot "$T/portable")
flock_run check_good 0
grep -q "^sound output: cap 100%$" "$T/check_good.out" || e2e_fail "the sound output not told"
grep -q "^ok: every bell of today and tomorrow can play$" "$T/check_good.out" || e2e_fail "no verdict"
pactl set-sink-mute cap 1
flock_run check_muted 1
grep -q "^  sound output: 声音已静音$" "$T/check_muted.out" || e2e_fail "a muted output not told"
pactl set-sink-mute cap 0
[ "$(snapshot "$T/portable")" = "$before" ] || e2e_fail "--check changed the application folder"
[ -z "$(ls -A "$T/cwd")" ] || e2e_fail "--check wrote into the current folder: $(ls -A "$T/cwd")"

# An installed copy that this user never started: the per-user folder is not made.
mkdir -p "$T/inst/bin" "$T/inst/share/lingchao"
cp "$build/bin/lingchao" "$T/inst/bin/"
rc=0
"$T/inst/bin/lingchao" --check >"$T/installed.out" 2>"$T/installed.err" || rc=$?
[ "$rc" -eq 0 ] || e2e_fail "installed --check: exit code $rc"
grep -q "^application folder: $T/home/.local/share/lingchao$" "$T/installed.out" || e2e_fail "installed folder not named"
grep -q "no timetable there yet" "$T/installed.out" || e2e_fail "missing timetable not told"
[ ! -e "$T/home/.local/share/lingchao" ] || e2e_fail "--check made the per-user folder"
# --import: two imports in a row; each keeps the timetable it replaced, byte for byte, in a backup folder of its own.
stick="$T/stick/铃潮"
mkdir -p "$stick/JOB" "$stick/Music/铃声" "$T/empty"
python3 "$here/../e2e/make_group.py" "$stick/Default.dll" "08:00|Everyday|START|上课|D:\\铃声\\上课.MP3"
printf 'x' >"$stick/JOB/坏.sav"
cp "$good" "$stick/Music/铃声/上课.mp3"
cp "$T/portable/default.dll" "$T/first.dll"
cp "$stick/Default.dll" "$T/second.dll"
backup_of() { sed -n 's/^backup of the replaced files: //p' "$T/$1.out"; }
run import1 0 --import "$stick"
first=$(backup_of import1)
case "$first" in "$T/portable/backup/2026-12-07 "[0-9][0-9][0-9][0-9][0-9][0-9]" 导入"*) ;; *) e2e_fail "backup folder '$first'" ;; esac
cmp -s "$first/default.dll" "$T/first.dll" || e2e_fail "the first import did not keep the timetable it replaced"
cmp -s "$T/portable/default.dll" "$T/second.dll" || e2e_fail "the first import did not bring the timetable"
cmp -s "$T/portable/music/铃声/上课.mp3" "$good" || e2e_fail "the music was not copied"
grep -q "^replaced: default.dll$" "$T/import1.out" || e2e_fail "the replaced timetable not named"
grep -q "^skipped (not what its name says): job/坏.sav：" "$T/import1.out" || e2e_fail "the bad group not named"
[ ! -e "$T/portable/job/坏.sav" ] || e2e_fail "a bad group was copied"
grep -q "^ok: imported$" "$T/import1.out" || e2e_fail "no verdict"
python3 "$here/../e2e/make_group.py" "$stick/Default.dll" "09:00|Everyday|START|第二|D:\\b.wav"
run import2 0 --import "$stick"
second=$(backup_of import2)
[ -n "$second" ] && [ "$second" != "$first" ] || e2e_fail "the second import kept no backup of its own: '$second'"
cmp -s "$second/default.dll" "$T/second.dll" || e2e_fail "the second import did not keep the timetable it replaced"
cmp -s "$first/default.dll" "$T/first.dll" || e2e_fail "the second import touched the first backup"
cmp -s "$T/portable/default.dll" "$stick/Default.dll" || e2e_fail "the second import did not bring the timetable"

# Nothing to take, no folder, a file: 1, 2, 2; nothing changes. Refused while a copy holds the folder's lock.
before=$(snapshot "$T/portable")
run import_empty 1 --import "$T/empty"
grep -q "default.dll、exit.dll、job 或 music" "$T/import_empty.err" || e2e_fail "an empty folder not told"
run import_missing 2 --import "$T/nowhere"
run import_file 2 --import "$T/first.dll"
grep -q "is not a folder" "$T/import_file.err" || e2e_fail "a file given as the folder not told"
python3 "$here/../e2e/make_group.py" "$stick/Default.dll" "10:00|Everyday|START|第三|D:\\c.wav"
rc=0
flock "$T/portable/lingchao.lock" "$prog" --import "$stick" >"$T/import_locked.out" 2>"$T/import_locked.err" || rc=$?
[ "$rc" -eq 1 ] || e2e_fail "import beside a running copy: exit code $rc, expected 1"
grep -q "a running copy of the program uses $T/portable" "$T/import_locked.err" || e2e_fail "the refusal not told"
[ "$(snapshot "$T/portable")" = "$before" ] || e2e_fail "a refused import changed the application folder"
[ -z "$(ls -A "$T/cwd")" ] || e2e_fail "--import wrote into the current folder: $(ls -A "$T/cwd")"
echo PASS
