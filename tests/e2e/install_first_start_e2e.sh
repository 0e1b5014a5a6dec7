#!/usr/bin/env bash
# An installed copy: the files the package holds land where they belong, and its first start makes the
# per-user application folder with the shipped bells and the example timetable.
# Usage: install_first_start_e2e.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "$0")/lib.sh"
e2e_begin

DESTDIR="$T/root" "${CMAKE:-cmake}" --install "$build" --prefix /usr >"$T/install.log" ||
    e2e_fail "cmake --install failed: $(tail -3 "$T/install.log")"
root="$T/root"
for f in usr/bin/lingchao usr/share/applications/lingchao.desktop etc/xdg/autostart/lingchao.desktop \
         usr/share/icons/hicolor/scalable/apps/lingchao.svg usr/share/lingchao/music/上课铃.wav \
         usr/share/lingchao/music/下课铃.wav usr/share/lingchao/music/预备铃.wav usr/lib/systemd/user/lingchao.service; do
    [ -s "$root/$f" ] || e2e_fail "$f not installed"
done
# Through the user unit where systemd's user manager runs, else directly (packaging/user_unit_test.sh runs it).
grep -q '^Exec=.*systemctl --user start lingchao.service.*exec lingchao"$' "$root/etc/xdg/autostart/lingchao.desktop" ||
    e2e_fail "autostart entry does not start lingchao"

# First start, headless, as a user with a fresh home (and the registry of GStreamer plugins the tests share).
e2e_start_program program env -i PATH="$PATH" HOME="$T/home" XDG_RUNTIME_DIR="$T/run" GST_REGISTRY="$GST_REGISTRY" \
    "$root/usr/bin/lingchao"
app="$T/home/.local/share/lingchao"
# Running headless it never ends by itself: stop it once it schedules (the folder is made before), however long
# a loaded machine takes to get there.
e2e_wait_line "$T/program.err" "job\(s\) scheduled" 120 || e2e_fail "the scheduler did not start"
e2e_stop_program program
[ -d "$app" ] || e2e_fail "no per-user application folder"
cmp -s "$app/music/上课铃.wav" "$root/usr/share/lingchao/music/上课铃.wav" || e2e_fail "bells not copied"
[ -s "$app/job/示例作息.sav" ] || e2e_fail "no example timetable"
size=$(stat -c %s "$app/job/示例作息.sav")
[ $((size % 4174)) -eq 0 ] || e2e_fail "example timetable is not whole records"
[ -e "$app/music/null.dll" ] || e2e_fail "no null media file"
[ -e "$app/exit.dll" ] || e2e_fail "no exit.dll"
[ ! -e "$root/usr/bin/default.dll" ] || e2e_fail "data written beside the installed program"
cat "$T/program.err" "$T/program.out" | grep -q "no display" || e2e_fail "the headless start was not logged"
echo PASS
