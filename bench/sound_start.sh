#!/usr/bin/env bash
# The player's sound start, opened on the tick against prepared ahead, through a private PulseAudio whose only
# sink is a null sink. Usage: sound_start.sh <build dir> [firings]
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/lib.sh
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_need pulseaudio pactl pacat
[ -x "$build/bin/bench_sound_start" ] || { echo "no $build/bin/bench_sound_start"; exit 1; }
e2e_begin
e2e_start_pulse
"$build/bin/bench_sound_start" "${2:-30}"
