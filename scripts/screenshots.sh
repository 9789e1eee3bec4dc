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
out=$(mktemp)
"$bin/velmora-gimbal-sim" --link "$(mktemp -u /tmp/velmora-shot.XXXX)" >"$out" &
sim=$!
trap 'kill $sim $xvfb 2>/dev/null || true; rm -f "$out"' EXIT
export DISPLAY=$display
for _ in $(seq 50); do grep -q '^VELMORA_VIRTUAL_PORTS=' "$out" && break; sleep 0.1; done
ports=$(grep -m1 '^VELMORA_VIRTUAL_PORTS=' "$out" | cut -d= -f2)

for lang in zh_CN en_US; do
    LANG=$lang.UTF-8 LC_ALL=$lang.UTF-8 VELMORA_VIRTUAL_PORTS=$ports "$bin/velmora" &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name '^Velmora$' | head -n1)
    sleep 1
    # The open button is the first stop of the keyboard focus chain.
    xdotool windowfocus --sync "$window" key --window "$window" space
    sleep 3
    import -window "$window" "$shots/velmora-$lang.png"
    kill "$app"
    wait "$app" 2>/dev/null || true
done
echo "screenshots in $shots"
