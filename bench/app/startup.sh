#!/usr/bin/env bash
# Time from process start to the window's first paint, and peak memory, over several runs.
# Usage: bench/app/startup.sh [runs]   (needs a build in ./build; uses the offscreen platform
# unless DISPLAY is set)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-9}
probe=${VELMORA_BUILD_DIR:-build}/bin/bench_first_paint
[[ -n "${DISPLAY:-}" ]] || export QT_QPA_PLATFORM=offscreen
times=() rss=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    out=$("$probe")
    paint=$(awk '/^first_paint_ns/ {print $2}' <<<"$out")
    times+=($(( (paint - start) / 1000000 )))
    rss+=($(awk '/^peak_rss_kib/ {print $2}' <<<"$out"))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "runs: $runs (platform: ${QT_QPA_PLATFORM:-$DISPLAY})"
echo "process start to first paint: median $(median "${times[@]}") ms (all: ${times[*]})"
echo "peak resident memory at first paint: median $(( $(median "${rss[@]}") / 1024 )) MiB"
