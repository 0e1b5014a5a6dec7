#!/usr/bin/env bash
# How close to its minute's start a bell sounds, from the bell's thread with the real player, through a private
# PulseAudio whose only sink is a null sink. Usage: precise_start.sh <build dir>   environment: BENCH_MINUTES
set -euo pipefail
build=$(readlink -f "$1")
# shellcheck source-path=SCRIPTDIR source=../tests/e2e/lib.sh
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_need pulseaudio pactl pacat
[ -x "$build/bin/bench_precise_start" ] || { echo "no $build/bin/bench_precise_start"; exit 1; }
[ -f "$build/share/music/上课铃.wav" ] || { echo "no $build/share/music/上课铃.wav"; exit 1; }
e2e_begin
e2e_start_pulse
"$build/bin/bench_precise_start" "$build/share/music/上课铃.wav"
