#!/usr/bin/env bash
# Retakes docs/screenshots/: Velmora in Chinese and in English under Xvfb, connected to the
# bundled simulator. Needs no display of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --screenshots
bash scripts/build.sh
bin=$(pwd)/${VELMORA_BUILD_DIR:-build}/bin
shots=docs/screenshots
mkdir -p "$shots"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 640x560x24 -nolisten tcp &
xvfb=$!
export DISPLAY=$display
sim=""
trap 'kill $sim $xvfb 2>/dev/null || true' EXIT

# Window-relative positions of the open and calibrate buttons (both languages lay them out alike).
open_button=(120 31)
calibrate_button=(175 31)

# $1: locale; $2: what to show ("connected" or "calibrating").
shoot() {
    local out link ports app window
    out=$(mktemp)
    link=$(mktemp -u /tmp/velmora-shot.XXXX)
    "$bin/velmora-gimbal-sim" --user --link "$link" >"$out" &
    sim=$!
    for _ in $(seq 50); do grep -q '^VELMORA_VIRTUAL_PORTS=' "$out" && break; sleep 0.1; done
    ports=$(grep -m1 '^VELMORA_VIRTUAL_PORTS=' "$out" | cut -d= -f2)
    LANG=$1.UTF-8 LC_ALL=$1.UTF-8 VELMORA_VIRTUAL_PORTS=$ports "$bin/velmora" 2>/dev/null &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name '^Velmora$' | head -n1)
    sleep 1
    xdotool mousemove --window "$window" "${open_button[@]}" click 1
    sleep 2.5
    if [[ $2 == calibrating ]]; then
        xdotool mousemove --window "$window" "${calibrate_button[@]}" click 1
        sleep 4
    fi
    xdotool mousemove 600 500
    import -window "$window" "$shots/velmora-$1.png"
    kill "$app" "$sim"
    wait "$app" "$sim" 2>/dev/null || true
    rm -f "$out"
}

shoot zh_CN calibrating
shoot en_US connected
echo "screenshots in $shots"
