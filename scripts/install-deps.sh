#!/usr/bin/env bash
# Installs the Debian 12 packages Tolvex needs to build, run and test, when
# any is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format
  # Qt 6 and QCoro
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qcoro-qt6-dev libgl-dev libxkbcommon-dev
  # audio: plugins, files, codecs, output
  liblilv-dev libsuil-dev lv2-dev libsndfile1-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  portaudio19-dev
  # state and documents
  libplist-dev nlohmann-json3-dev
  # effect plugins to chain, and the tools the tests compare against
  x42-plugins mda-lv2 swh-lv2 lilv-utils ffmpeg
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
