#!/usr/bin/env bash
# Installs the Debian 12 packages Tolvex needs to build, run and test, when
# any is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  # toolchain; GCC brings the sanitizer runtimes (libasan8, libubsan1,
  # libtsan2), clang and compiler-rt bring libFuzzer
  build-essential cmake ninja-build pkg-config clang-format
  clang libclang-rt-14-dev
  # man and groff, which the tests render the manual pages with (priority
  # "standard": not in a minimal Debian)
  man-db groff-base
  # Qt 6 and QCoro
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qcoro-qt6-dev libgl-dev libxkbcommon-dev
  # Qt's own texts in German, and the desktop's file dialog on GTK desktops
  qt6-translations-l10n qt6-gtk-platformtheme
  # audio: plugins, files, codecs, output
  liblilv-dev libsuil-dev lv2-dev libsndfile1-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  portaudio19-dev libpulse-dev libpipewire-0.3-dev
  # loudness and true peak of the written files (EBU R 128)
  libebur128-dev
  # state and documents
  libplist-dev nlohmann-json3-dev
  # effect plugins to chain, and the tools the tests compare against
  x42-plugins mda-lv2 swh-lv2 lilv-utils ffmpeg
  # a headless X server and a window manager for the window tests, the
  # walk-through and plugin UIs (software OpenGL for the UIs that draw with
  # it), and its pointer driver
  xvfb xauth xdotool libgl1-mesa-dri desktop-file-utils openbox
  # a desktop's dark theme for the walk-through (Qt's colour-scheme tool)
  qt6ct
  # a private sound server for the preview's test and bench: PulseAudio, and
  # PipeWire with WirePlumber and its PulseAudio service; WirePlumber wants a
  # D-Bus session bus, which the bench starts with dbus-daemon
  pulseaudio pipewire wireplumber pipewire-pulse dbus-daemon
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this as root, or install sudo, to install them." >&2
    exit 1
  fi
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
# Through env: sudo resets the environment, and a question from a package's
# configuration would stall a run without a terminal.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
