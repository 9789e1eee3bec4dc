#!/usr/bin/env bash
# Configures and builds Velmora into ./build (or $VELMORA_BUILD_DIR): everything, or only the
# targets named as arguments and what they need (for example: bash scripts/build.sh velmora-cli).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VELMORA_BUILD_DIR:-build}
if [[ ! -f "$build_dir/build.ninja" ]]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
targets=()
if (($# > 0)); then
    targets=(--target "$@")
fi
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
