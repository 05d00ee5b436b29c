#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks, the fuzzers and the demo need.
# Idempotent: when everything is present it installs nothing and touches nothing.
set -euo pipefail

PACKAGES=(
  # toolchain
  cmake ninja-build ccache g++ pkg-config make git
  clang libclang-rt-14-dev
  # Qt 6
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev qt6-multimedia-dev
  # media and network
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libasio-dev libcurl4-openssl-dev libssl-dev libpulse-dev libsndfile1-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # headless runs: display, sound server, screenshots, fonts
  xvfb xauth x11-apps x11-utils imagemagick pulseaudio pulseaudio-utils fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "deps: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
