#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when any is missing.
# Usage: tools/deps.sh [run|test]   (run: what building and running need; test: also the test tools)
set -euo pipefail
mode=${1:-test}

build_pkgs=(
  build-essential cmake pkg-config dpkg-dev ccache
  qt6-base-dev libqt6dbus6 qt6-translations-l10n
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libpulse-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav timgm6mb-soundfont
  libxcb1-dev libxcb-keysyms1-dev x11proto-dev libical-dev
  fonts-wqy-microhei qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libmosquitto-dev
)
test_pkgs=(
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool openbox x11-utils imagemagick
  faketime pulseaudio pulseaudio-utils sox libsox-fmt-mp3
  dbus dbus-x11 clang libclang-rt-14-dev clang-format clang-tidy tzdata
  lintian desktop-file-utils appstream man-db playerctl libglib2.0-bin
  weston xwayland qt6-wayland mosquitto mosquitto-clients chromium nodejs
)

pkgs=("${build_pkgs[@]}")
[ "$mode" = test ] && pkgs+=("${test_pkgs[@]}")
# npm comes with some builds of nodejs and is a package of its own in Debian's: asked for only when missing.
[ "$mode" = test ] && ! command -v npm >/dev/null && pkgs+=(npm)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The office page's browser test drives chromium with puppeteer-core from the npm registry.
[ "$mode" = test ] && "$(dirname "$0")/../tests/e2e/browser/modules.sh" install
exit 0
