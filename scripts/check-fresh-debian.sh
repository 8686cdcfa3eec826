#!/usr/bin/env bash
# Tries the set-up as a new user would: builds a fresh, minimal Debian 12 root
# with debootstrap, puts a clean copy of the committed tree (git archive HEAD)
# in it and runs the README's test command there, as root, through chroot.
#
#   sudo scripts/check-fresh-debian.sh [--keep] [--cache DIR] [--add FILE]...
#                                      [-- COMMAND...]
#
#   --keep       leave the root in place afterwards (its path is printed)
#   --cache DIR  keep downloaded packages in DIR, to spare the downloads of a
#                second run; the root itself is new every time
#   --add FILE   copy FILE into the copy of the tree too (its top folder,
#                under its own name), for COMMAND to use; may be repeated
#   COMMAND      what to run in the copy instead of ./test.sh
#
# The mirror is the Debian mirror this machine's apt uses; TOLVEX_DEBIAN_MIRROR
# overrides it. /proc, /sys, /dev and /dev/pts are mounted into the root for
# the run and unmounted on exit, on failure and interruption too; the root is
# deleted only once nothing is mounted below it.
#
# The whole script sits in braces, so bash has read all of it before it runs:
# editing the file during a long run cannot change what the run does.
{
set -euo pipefail

suite=bookworm
keep=0
cache=
added=()
command=(./test.sh)
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --cache) cache=$(realpath -m "$2"); shift ;;
    --add)
      [ -f "${2-}" ] || { echo "--add: no such file: ${2-}" >&2; exit 2; }
      added+=("$(realpath "$2")"); shift ;;
    --) shift; [ $# -gt 0 ] && command=("$@"); break ;;
    *) echo "Unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

[ "$(id -u)" -eq 0 ] || { echo "Run this as root (it uses debootstrap and chroot)." >&2; exit 1; }
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)

log() { printf '[%s] %s\n' "$(date +%T)" "$*"; }

# The first URI of a bookworm source in apt's lists, one-line or deb822 style.
apt_mirror() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$file" ] || continue
    awk -v suite="$suite" '{ sub(/\[[^]]*\]/, ""); sub(/#.*/, "") }
      $1 == "deb" && $3 == suite { print $2; exit }' "$file"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -r "$file" ] || continue
    awk -v suite="$suite" '
      function flush() { if (uri != "" && (" " suites " ") ~ (" " suite " ")) { print uri; found = 1 }
                         uri = ""; suites = "" }
      /^[ \t]*$/ { flush(); if (found) exit; next }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "suites:" { $1 = ""; suites = $0 }
      END { if (!found) flush() }' "$file"
  done
}

mirror=${TOLVEX_DEBIAN_MIRROR:-$(apt_mirror | head -n 1)}
mirror=${mirror:-http://deb.debian.org/debian}

if ! command -v debootstrap >/dev/null; then
  log "Installing debootstrap"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
fi

root=$(mktemp -d /var/tmp/tolvex-fresh-debian.XXXXXX)
# mktemp makes the folder private; as the new root's / it must be readable by
# all, or apt's download user and every other account inside fail.
chmod 755 "$root"
mounts=(proc sys dev dev/pts)
if [ -n "$cache" ]; then mounts+=(var/cache/apt/archives); fi

# Ends what still runs inside the root, unmounts in reverse order and deletes
# the root unless it is to be kept or something below it is still mounted.
cleanup() {
  local status=$? pid i
  set +e
  for pid in /proc/[0-9]*; do
    [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "${pid#/proc/}" 2>/dev/null
  done
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    if mountpoint -q "$root/${mounts[i]}"; then
      umount "$root/${mounts[i]}" || umount -l "$root/${mounts[i]}"
    fi
  done
  if [ "$keep" -eq 1 ]; then
    log "Root kept in $root"
  elif grep -q " $root/" /proc/self/mounts; then
    log "Something is still mounted below $root; not deleting it" >&2
  else
    rm -rf --one-file-system "$root"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

start=$(date +%s)
log "Building a minimal Debian 12 root in $root from $mirror"
cache_args=()
if [ -n "$cache" ]; then
  mkdir -p "$cache"
  cache_args=(--cache-dir="$cache")
fi
debootstrap --variant=minbase "${cache_args[@]}" "$suite" "$root" "$mirror"

# The sources of a standard installation: the release, its updates and, where
# the mirror has the usual layout, the security archive.
{
  echo "deb $mirror $suite main"
  echo "deb $mirror $suite-updates main"
  if [[ "$mirror" == */debian ]]; then
    echo "deb ${mirror}-security $suite-security main"
  fi
} >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
if [ -n "$cache" ]; then mount --bind "$cache" "$root/var/cache/apt/archives"; fi

log "Copying the committed tree ($(git -C "$repo" rev-parse --short HEAD))"
mkdir "$root/root/tolvex"
git -C "$repo" archive --format=tar HEAD | tar -x -C "$root/root/tolvex"
if [ ${#added[@]} -gt 0 ]; then cp -- "${added[@]}" "$root/root/tolvex/"; fi

log "Running ${command[*]} in the fresh root"
set +e
chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c 'cd /root/tolvex && "$@"' bash "${command[@]}" </dev/null
status=$?
set -e
log "${command[*]} exited with $status after $(($(date +%s) - start)) s in all"
exit "$status"
}
