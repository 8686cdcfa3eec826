#!/usr/bin/env bash
# Installs the Debian package as a user would, in a fresh minimal Debian 12
# root (built by scripts/check-fresh-debian.sh, which also unmounts and
# deletes it on every exit), and checks it there:
#
#   - `apt-get install ./tolvex_*.deb` brings every library it needs (it runs
#     without the recommended packages, so the Depends alone must do), with
#     x42-plugins beside it for the export;
#   - the three programs find all their libraries, the desktop entry and the
#     icon are in place, and the window starts (offscreen) and stays up;
#   - `tolvex-cli plugins` lists x42 dpl, and `tolvex-cli export` sends a
#     generated WAV through it, through the installed render worker, giving
#     the same bytes as the package's tolvex-cli on this machine.
#
#   sudo scripts/check-package.sh [--cache DIR] [--keep] [DEB]
#
#   DEB          the package; default the newest build-package/tolvex_*.deb
#                (`cmake --workflow --preset package` makes it)
#   --cache DIR  keep downloaded packages in DIR for the next run
#   --keep       leave the root in place afterwards
#
# Needs ffmpeg and x42-plugins on this machine (scripts/install-deps.sh).
set -euo pipefail

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
fresh_options=()
deb=
while [ $# -gt 0 ]; do
  case "$1" in
    --cache) fresh_options+=(--cache "$2"); shift ;;
    --keep) fresh_options+=(--keep) ;;
    -*) echo "Unknown option: $1" >&2; exit 2 ;;
    *) deb=$1 ;;
  esac
  shift
done
if [ -z "$deb" ]; then
  deb=$(ls -t "$repo"/build-package/tolvex_*.deb 2>/dev/null | head -n 1 || true)
  [ -n "$deb" ] || { echo "No package: run 'cmake --workflow --preset package' first." >&2; exit 2; }
fi
[ -f "$deb" ] || { echo "No such package: $deb" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "Run this as root (it uses debootstrap and chroot)." >&2; exit 1; }

work=$(mktemp -d /tmp/tolvex-check-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM HUP

uri='http://gareus.org/oss/lv2/dpl#stereo'
"$repo/scripts/chain-file.sh" "$uri" >"$work/dpl.json"
# Two seconds of a loud stereo tone, clipped hard enough for the limiter to work.
ffmpeg -v error -f lavfi -i 'sine=frequency=330:duration=2,volume=6' -ac 2 -ar 48000 \
  -c:a pcm_s16le "$work/tone.wav"

# The reference: the package's own tolvex-cli on this machine, unpacked.
dpkg-deb -x "$deb" "$work/unpacked"
mkdir "$work/reference"
"$work/unpacked/usr/bin/tolvex-cli" export --chain "$work/dpl.json" --format wav24 --suffix '' \
  --output-dir "$work/reference" "$work/tone.wav" >/dev/null
mv "$work/reference/tone.wav" "$work/reference.wav"

# Runs in the copy of the tree inside the fresh root, as root.
cat >"$work/check-inside.sh" <<'EOF'
set -euo pipefail
step() { printf '\n--- %s\n' "$*"; }
export DEBIAN_FRONTEND=noninteractive
step "apt-get install ./$1 x42-plugins"
apt-get update -q >/dev/null
apt-get install -y -q --no-install-recommends "./$1" x42-plugins >apt.log ||
  { tail -n 30 apt.log; exit 1; }
dpkg-query -W -f='${Package} ${Version}\n' tolvex x42-plugins

step "installed files"
dpkg -L tolvex | while read -r path; do [ -d "$path" ] || echo "$path"; done
for program in /usr/bin/tolvex /usr/bin/tolvex-cli /usr/libexec/tolvex/tolvex-render-worker; do
  if ldd "$program" | grep 'not found'; then echo "$program lacks libraries"; exit 1; fi
done
test -f /usr/share/applications/tolvex.desktop
test -f /usr/share/icons/hicolor/scalable/apps/tolvex.svg
echo "all libraries found; desktop entry and icon in place"

step "tolvex-cli --version"
tolvex-cli --version

step "the window starts (offscreen) and stays up for 10 s"
set +e
HOME=/tmp/window-home QT_QPA_PLATFORM=offscreen timeout 10 tolvex >window.log 2>&1
status=$?
set -e
[ "$status" -eq 124 ] || { cat window.log; echo "tolvex ended with $status"; exit 1; }
echo "still running after 10 s"

step "tolvex-cli plugins"
tolvex-cli plugins >plugins.txt
grep -c 'http' plugins.txt | sed 's/$/ plugins listed/'
grep -F "$2" plugins.txt

step "tolvex-cli export --chain dpl.json --format wav24 --suffix '' --output-dir out --json tone.wav"
mkdir out
tolvex-cli export --chain dpl.json --format wav24 --suffix '' --output-dir out --json tone.wav
cmp out/tone.wav reference.wav
echo "out/tone.wav ($(stat -c %s out/tone.wav) bytes) equals this machine's export"
echo "check-package: the package installs and works"
EOF

"$repo/scripts/check-fresh-debian.sh" "${fresh_options[@]}" \
  --add "$deb" --add "$work/dpl.json" --add "$work/tone.wav" --add "$work/reference.wav" \
  --add "$work/check-inside.sh" -- bash check-inside.sh "$(basename "$deb")" "$uri"
