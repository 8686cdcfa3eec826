#!/usr/bin/env bash
# Installs the Debian packages that are missing, builds Tolvex and runs all
# tests. Needs only bash, apt and root or sudo; arguments go to ctest
# (for instance -R test_session to run one test).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
ctest --preset default "$@"
