#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) and runs each for N seconds.
# Usage: tools/fuzz.sh [seconds per target, default 600] [output folder, default build-fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
out=${2:-build-fuzz}
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc)
core=(src/base/file_util.cpp src/base/log.cpp src/base/text.cpp src/store/gbk.cpp src/store/timeparse.cpp
      src/store/job_record.cpp src/store/group_file.cpp src/shutdown/shutdown_settings.cpp)
targets=(job_record shutdown_settings)
[ -f tests/fuzz/music_list_fuzz.cpp ] && targets+=(music_list) && core+=(src/player/music_list.cpp)
[ -f tests/fuzz/calendar_fuzz.cpp ] && targets+=(calendar) && core+=(src/scheduler/calendar.cpp src/scheduler/clock.cpp)

for t in "${targets[@]}"; do
  clang++ "${flags[@]}" "tests/fuzz/${t}_fuzz.cpp" "${core[@]}" -o "$out/${t}_fuzz"
done
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
