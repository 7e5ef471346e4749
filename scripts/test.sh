#!/usr/bin/env bash
# Sets up the machine, builds with the chosen preset (default: sanitize) and runs every test.
#   scripts/test.sh [debug|release|sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-sanitize}"

scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
