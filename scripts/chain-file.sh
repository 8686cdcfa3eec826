#!/usr/bin/env bash
# Prints a chain file for `tolvex-cli export --chain`: the LV2 plugins named
# by URI, first effect first, each switched on and at its default settings
# (no stored state). The same document as a saved preset, which Tolvex keeps
# in ~/.local/share/Tolvex/Ketten/.
#
#   scripts/chain-file.sh 'http://gareus.org/oss/lv2/dpl#stereo' >kette.json
#
# An LV2 plugin's entry carries the type code "aufx" and its URI's 64-bit
# FNV-1a hash, high half as subtype, low half as manufacturer; the name and
# vendor only label the entry in messages (here the URI and "LV2").
set -euo pipefail
export LC_ALL=C # the hash runs over the URI's bytes

[ $# -gt 0 ] || { echo "Usage: $0 URI..." >&2; exit 2; }

effect_type=$(((0x61 << 24) | (0x75 << 16) | (0x66 << 8) | 0x78)) # "aufx"
separator=
printf '['
for uri in "$@"; do
  case "$uri" in *[\"\\]* | *[[:cntrl:]]*)
    echo "Not a plain URI: $uri" >&2; exit 2 ;;
  esac
  # FNV-1a, 64 bits; bash's arithmetic wraps at 64 bits like the C code.
  hash=-3750763034362895579 # 14695981039346656037 as a signed 64-bit number
  for ((i = 0; i < ${#uri}; i++)); do
    printf -v byte '%d' "'${uri:i:1}"
    hash=$(((hash ^ (byte & 0xFF)) * 1099511628211))
  done
  printf '%s{"type":%d,"subtype":%d,"manufacturer":%d,"name":"%s","vendor":"LV2","bypass":false}' \
    "$separator" "$effect_type" $(((hash >> 32) & 0xFFFFFFFF)) $((hash & 0xFFFFFFFF)) "$uri"
  separator=,
done
printf ']\n'
