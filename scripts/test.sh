#!/usr/bin/env bash
# Sets up, builds and runs every test. Extra arguments go to ctest (for example -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build_dir=${VELMORA_BUILD_DIR:-build}
cd "$build_dir"
# The tests spend most of their time waiting on devices and time-outs, so they run side by side.
ctest --output-on-failure --timeout 300 --parallel "$(nproc)" "$@"
