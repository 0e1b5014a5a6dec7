#!/usr/bin/env bash
# The Debian package as Debian's own tools judge it: lintian without errors or warnings, the desktop entries
# and the AppStream data valid, the manual page rendering without complaint.
# Usage: package_lint_test.sh <build dir>
set -euo pipefail
build=$(readlink -f "$1")
for tool in cpack lintian desktop-file-validate appstreamcli dpkg-deb man; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 0; }
done
T=$(mktemp -d /tmp/lingchao-lint.XXXXXX)
trap 'rm -rf "$T"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB -B "$T/pkg" --config "$build/CPackConfig.cmake" >"$T/cpack.log" 2>&1 || { cat "$T/cpack.log"; fail "cpack"; }
deb=$(echo "$T"/pkg/lingchao_*.deb)
[ -f "$deb" ] || fail "no package made"

rc=0
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$T/lintian.log" 2>&1 || rc=$?
grep -v 'running with root privileges' "$T/lintian.log" || true
[ "$rc" -eq 0 ] || fail "lintian found errors or warnings"

dpkg-deb -x "$deb" "$T/root"
root=$T/root
desktop-file-validate "$root/usr/share/applications/lingchao.desktop" "$root/etc/xdg/autostart/lingchao.desktop" ||
    fail "desktop-file-validate"
grep -qx 'Categories=Education;' "$root/usr/share/applications/lingchao.desktop" || fail "not one main category"
metainfo=$(echo "$root"/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q '<launchable type="desktop-id">lingchao.desktop</launchable>' "$metainfo" || fail "metainfo not tied to the menu entry"

# Every file under /etc is a conffile: dpkg must keep an administrator's change.
dpkg-deb -e "$deb" "$T/control"
while IFS= read -r f; do
    grep -qx "/${f#./}" "$T/control/conffiles" || fail "$f is not a conffile"
done < <(cd "$root" && find ./etc -type f)

# The manual page, as man shows it, with groff's warnings.
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/lingchao.1.gz" >"$T/man.txt" 2>"$T/man.err"
[ ! -s "$T/man.err" ] || { cat "$T/man.err"; fail "man warns about the manual page"; }
for o in --check --help --version "EXIT STATUS"; do grep -q -- "$o" "$T/man.txt" || fail "the manual page lacks $o"; done
echo PASS
