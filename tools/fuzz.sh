#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) and runs each for N seconds.
# Usage: tools/fuzz.sh [seconds per target, default 600; 0 builds only] [output folder, default build-fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
out=${2:-build-fuzz}
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc)
core=(src/base/csv.cpp src/base/file_util.cpp src/base/log.cpp src/base/text.cpp src/store/gbk.cpp src/store/timeparse.cpp
      src/store/job_record.cpp src/store/group_file.cpp src/shutdown/shutdown_settings.cpp)
targets=(job_record shutdown_settings)
[ -f tests/fuzz/music_list_fuzz.cpp ] && targets+=(music_list) && core+=(src/player/music_list.cpp)
targets+=(drills) && core+=(src/store/drill_plans.cpp)
[ -f tests/fuzz/calendar_fuzz.cpp ] && targets+=(calendar) && core+=(src/scheduler/calendar.cpp src/scheduler/clock.cpp)

# The shared sources are compiled once, and nothing is rebuilt while the fuzzers are newer than every source.
fresh=1
for t in "${targets[@]}"; do
  [ -x "$out/${t}_fuzz" ] || fresh=0
done
if [ $fresh = 1 ] && [ -n "$(find src/base src/store src/shutdown src/player/music_list.* tests/fuzz tools/fuzz.sh \
                            -newer "$out/${targets[0]}_fuzz" -type f 2>/dev/null | head -1)" ]; then
  fresh=0
fi
if [ $fresh = 0 ]; then
  mkdir -p "$out/obj"
  objects=()
  for source in "${core[@]}"; do
    object="$out/obj/$(basename "${source%.cpp}").o"
    clang++ "${flags[@]}" -c "$source" -o "$object"
    objects+=("$object")
  done
  for t in "${targets[@]}"; do
    clang++ "${flags[@]}" "tests/fuzz/${t}_fuzz.cpp" "${objects[@]}" -o "$out/${t}_fuzz"
  done
fi
# 0 seconds: build only (the build does this, so the test's own time goes to fuzzing).
[ "$seconds" -gt 0 ] || exit 0
status=0
for t in "${targets[@]}"; do
  corpus="$out/corpus-$t"
  mkdir -p "$corpus"
  echo "fuzzing $t for ${seconds}s"
  if ! "$out/${t}_fuzz" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 "$corpus" \
       >"$out/$t.log" 2>&1; then
    echo "fuzz target $t FAILED; see $out/$t.log"
    tail -40 "$out/$t.log"
    status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "$out/$t.log" | tail -2
  fi
done
exit $status
