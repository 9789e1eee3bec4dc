#!/usr/bin/env bash
# Sets up, builds and runs every test. Extra arguments go to ctest (for example -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build_dir=${VELMORA_BUILD_DIR:-build}
cd "$build_dir"
ctest --output-on-failure --timeout 300 "$@"
