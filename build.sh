#!/usr/bin/env bash
# ./build.sh run    installs what is missing, builds, and starts the program (build/bin/lingchao)
# ./build.sh test   installs what is missing, builds, and runs every test with ctest
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-run}
build_dir=${LINGCHAO_BUILD_DIR:-build}
# What is missing is installed first: ccache among it, so a fresh machine's first build already fills its cache.
case "$mode" in run | test) tools/deps.sh "$mode" ;; esac
# Compiled objects are kept in ccache's cache when it is there, shared by every clone: paths are taken relative to
# the clone and its folder left out of the hash, so a fresh clone builds in minutes, not a quarter of an hour.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

case "$mode" in
  run)
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINGCHAO_TESTS=OFF -DLINGCHAO_BENCH=OFF \
      "${launcher[@]}" >/dev/null
    cmake --build "$build_dir" --target lingchao bells -j"$(nproc)"
    mkdir -p "$build_dir/bin/music" "$build_dir/bin/job"
    # The built program's folder is its application folder: give it the shipped bells once.
    cp -n "$build_dir"/share/music/*.wav "$build_dir/bin/music/" 2>/dev/null || true
    exec "$build_dir/bin/lingchao"
    ;;
  test)
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINGCHAO_TESTS=ON -DLINGCHAO_BENCH=ON \
      -DLINGCHAO_WERROR=ON "${launcher[@]}" >/dev/null
    cmake --build "$build_dir" -j"$(nproc)"
    tools/lint.sh "$build_dir"
    (cd "$build_dir" && ctest --output-on-failure -j"$(nproc)")
    # The same tests once more with address and undefined-behaviour sanitizers (the end-to-end runs and the
    # fuzzing have their own sanitizers or need the optimised build).
    cmake -S . -B "$build_dir-asan" -DCMAKE_BUILD_TYPE=Debug -DLINGCHAO_SANITIZE=ON -DLINGCHAO_TESTS=ON \
      -DLINGCHAO_BENCH=OFF -DLINGCHAO_WERROR=ON "${launcher[@]}" >/dev/null
    cmake --build "$build_dir-asan" -j"$(nproc)"
    cd "$build_dir-asan"
    exec ctest --output-on-failure -j"$(nproc)" -E '^(e2e_|fuzz_)'
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
