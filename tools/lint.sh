#!/usr/bin/env bash
# Lints the sources: the format check (.clang-format) over every C++ file of src/, tests/ and bench/, then
# clang-tidy (.clang-tidy) over the .cpp files of those folders that differ between LINGCHAO_LINT_BASE
# (default HEAD~1) and the working tree, uncommitted and new files included.
# Usage: tools/lint.sh <build dir>
#   The build folder must be configured and built: clang-tidy reads its compile_commands.json and needs the
#   headers moc and uic generated there. Only files that folder compiles are given to clang-tidy.
#   Every file at once: LINGCHAO_LINT_BASE=$(git hash-object -t tree /dev/null) tools/lint.sh build
# Exits 1 on any finding, 2 when it cannot run.
set -euo pipefail
# Never end without saying why: a step that fails unexpectedly names its line.
trap 'echo "lint: stopped at line $LINENO" >&2' ERR
build_dir=${1:?usage: tools/lint.sh <build dir>}
build_dir=$(cd "$build_dir" && pwd)
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

for tool in clang-format clang-tidy; do
  if ! command -v "$tool" >/dev/null; then
    echo "lint: $tool is not installed (tools/deps.sh test installs it)" >&2
    exit 2
  fi
done
db=$build_dir/compile_commands.json
if [ ! -f "$db" ]; then
  echo "lint: $db is missing: configure $build_dir with CMake first" >&2
  exit 2
fi

# Format: every file, since it is cheap and a mis-formatted file anywhere makes the next diff noisy.
mapfile -t sources < <(find src tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
mapfile -t unformatted < <(clang-format --dry-run --Werror "${sources[@]}" 2>&1 |
  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ ${#unformatted[@]} -gt 0 ]; then
  printf '  not formatted: %s\n' "${unformatted[@]}"
fi

# Tidy: only what changed, since a full run costs minutes; the older code is kept clean once, by hand.
base=${LINGCHAO_LINT_BASE:-}
have_git=0
git rev-parse --is-inside-work-tree >/dev/null 2>&1 && have_git=1
if [ -z "$base" ] && [ $have_git = 1 ] && git rev-parse -q --verify 'HEAD~1^{commit}' >/dev/null; then
  base=HEAD~1
fi
mapfile -t compiled < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" |
  awk -v top="$root/" 'index($0, top) == 1 && substr($0, length(top) + 1) ~ /^(src|tests|bench)\/.*\.cpp$/' | sort -u)
if [ -n "$base" ]; then
  if [ $have_git = 0 ] || ! git rev-parse -q --verify "$base^{tree}" >/dev/null; then
    echo "lint: LINGCHAO_LINT_BASE=$base is not a commit of this repository" >&2
    exit 2
  fi
  scope="changed since $base"
  mapfile -t changed < <({
    git diff --name-only --diff-filter=d "$base" -- src tests bench
    git ls-files --others --exclude-standard -- src tests bench
  } | grep '\.cpp$' | sed "s|^|$root/|" | sort -u)
  mapfile -t files < <(comm -12 <(printf '%s\n' "${changed[@]}") <(printf '%s\n' "${compiled[@]}") | grep . || true)
else
  # No history to compare with (a first commit, a shallow copy, an unpacked tarball): check everything.
  scope="all, no base to compare with"
  files=("${compiled[@]}")
fi

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
if [ ${#files[@]} -gt 0 ]; then
  # -w: compiler warnings are the compiler's business (the build has -Werror); here only the checks count.
  # -std first, so a target's own one wins: one without any gets gcc's default, C++17, which clang 14 lacks.
  printf '%s\0' "${files[@]}" | xargs -0 -P"$(nproc)" -I{} sh -c '
    log="$1/$(echo "$3" | tr / _).log"
    clang-tidy -p "$2" --quiet --extra-arg-before=-std=gnu++17 --extra-arg=-w "$3" >"$log" 2>&1 ||
      echo "$3" >"$log.failed"' \
    sh "$logs" "$build_dir" {}
fi
failed_files=0
for f in "$logs"/*.failed; do
  [ -e "$f" ] || continue
  failed_files=$((failed_files + 1))
  grep -Ev '^[0-9]+ (warning|error)s? (and [0-9]+ (warning|error)s? )?generated\.$' "${f%.failed}"
done
# One finding in a header shows once per source that includes it: count it once.
# No file to check leaves no log: that is no finding, not a failure.
findings=$({ cat "$logs"/*.log 2>/dev/null || true; } | { grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' || true; } |
  sort -u | wc -l)

echo "lint: format: ${#unformatted[@]} of ${#sources[@]} files not formatted" \
  "(fix: cmake --build <build dir> --target format, or clang-format -i FILE)"
echo "lint: clang-tidy: $findings findings in ${#files[@]} files ($scope), $failed_files files failed"
echo "lint: $((SECONDS - start)) s"
if [ ${#unformatted[@]} -gt 0 ] || [ "$failed_files" -gt 0 ] || [ "$findings" -gt 0 ]; then
  echo "lint: FAILED"
  exit 1
fi
echo "lint: passed"
