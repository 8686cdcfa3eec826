#!/usr/bin/env bash
# Installs the Debian packages that are missing, builds Tolvex and starts it.
# Needs only bash, apt and root or sudo; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
exec ./build/app/tolvex "$@"
