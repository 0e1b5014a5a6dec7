#!/usr/bin/env bash
# An installed copy: the files the package holds land where they belong, and its first start makes the
# per-user application folder with the shipped bells and the example timetable.
# Usage: install_first_start_e2e.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
T=$(mktemp -d /tmp/lingchao-install.XXXXXX)
trap 'rm -rf "$T"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR="$T/root" cmake --install "$build" --prefix /usr >"$T/install.log"
root="$T/root"
for f in usr/bin/lingchao usr/share/applications/lingchao.desktop etc/xdg/autostart/lingchao.desktop \
         usr/share/icons/hicolor/scalable/apps/lingchao.svg usr/share/lingchao/music/上课铃.wav \
         usr/share/lingchao/music/下课铃.wav usr/share/lingchao/music/预备铃.wav usr/lib/systemd/user/lingchao.service; do
    [ -s "$root/$f" ] || fail "$f not installed"
done
# Through the user unit where systemd's user manager runs, else directly (packaging/user_unit_test.sh runs it).
grep -q '^Exec=.*systemctl --user start lingchao.service.*exec lingchao"$' "$root/etc/xdg/autostart/lingchao.desktop" ||
    fail "autostart entry does not start lingchao"

# First start, headless, as a user with a fresh home.
mkdir -p "$T/home" "$T/run"
chmod 700 "$T/run"
env -i PATH="$PATH" HOME="$T/home" XDG_RUNTIME_DIR="$T/run" "$root/usr/bin/lingchao" >"$T/out.log" 2>&1 &
program=$!
trap 'kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true; rm -rf "$T"' EXIT
app="$T/home/.local/share/lingchao"
# Running headless it never ends by itself: stop it once it schedules (the folder is made before), however long
# a loaded machine takes to get there.
for _ in $(seq 1 1200); do
    grep -q "job(s) scheduled" "$T/out.log" && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.1
done
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
[ -d "$app" ] || { cat "$T/out.log"; fail "no per-user application folder"; }
cmp -s "$app/music/上课铃.wav" "$root/usr/share/lingchao/music/上课铃.wav" || fail "bells not copied"
[ -s "$app/job/示例作息.sav" ] || fail "no example timetable"
size=$(stat -c %s "$app/job/示例作息.sav")
[ $((size % 4174)) -eq 0 ] || fail "example timetable is not whole records"
[ -e "$app/music/null.dll" ] || fail "no null media file"
[ -e "$app/exit.dll" ] || fail "no exit.dll"
[ ! -e "$root/usr/bin/default.dll" ] || fail "data written beside the installed program"
grep -q "no display" "$T/out.log" || fail "the headless start was not logged"
echo PASS
