#!/usr/bin/env bash
# Retakes docs/screenshots/: Velmora in Chinese and in English under Xvfb, connected to the
# bundled simulator. Needs no display of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --screenshots
bash scripts/build.sh velmora velmora-gimbal-sim velmora_demo_package
bin=$(pwd)/${VELMORA_BUILD_DIR:-build}/bin
shots=docs/screenshots
mkdir -p "$shots"

# The path box shows the package where a user keeps one, in a home folder, rather than in the
# build tree: /home/user when it can be made here (and is removed afterwards), otherwise a
# temporary folder.
shot_home=/home/user
if [[ -e $shot_home ]] || ! mkdir -p "$shot_home" 2>/dev/null; then
    shot_home=$(mktemp -d)
fi
mkdir -p "$shot_home/velmora"
cp "$(pwd)/${VELMORA_BUILD_DIR:-build}/share/velmora/demo-k5.ptz" "$shot_home/velmora/"
package=$shot_home/velmora/demo-k5.ptz

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 640x560x24 -nolisten tcp &
xvfb=$!
export DISPLAY=$display
sim=""
trap 'kill $sim $xvfb 2>/dev/null || true; rm -rf "$shot_home"' EXIT

# Window-relative positions of the open and calibrate buttons (both languages lay them out alike).
open_button=(120 31)
calibrate_button=(175 31)
# The sensor plot's button in the calibration tab's corner, per language.
declare -A plot_button=([zh_CN]="380 69" [en_US]="381 69")
# On the firmware tab the two languages differ: tab, connect button, path box, update button.
declare -A firmware_clicks=(
    [zh_CN]="122 70 198 31 190 100 375 428"
    [en_US]="192 70 190 31 200 100 398 427"
)

# $1: locale; $2: what to show ("connected", "calibrating": a step with its words, "plot": the
# sensor plot window while the simulated user turns the gimbal through a calibration, or
# "firmware": an update under way).
shoot() {
    local out link ports app window
    out=$(mktemp)
    link=$(mktemp -u /tmp/velmora-shot.XXXX)
    "$bin/velmora-gimbal-sim" --role auto --multi-chip --user --link "$link" >"$out" &
    sim=$!
    for _ in $(seq 50); do grep -q '^VELMORA_VIRTUAL_PORTS=' "$out" && break; sleep 0.1; done
    ports=$(grep -m1 '^VELMORA_VIRTUAL_PORTS=' "$out" | cut -d= -f2)
    # A settings directory of its own: every shot starts from the same, empty memory.
    HOME=$shot_home XDG_CONFIG_HOME=$(mktemp -d) LANG=$1.UTF-8 LC_ALL=$1.UTF-8 VELMORA_VIRTUAL_PORTS=$ports "$bin/velmora" 2>/dev/null &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name '^Velmora$' | head -n1)
    sleep 1
    xdotool mousemove --window "$window" "${open_button[@]}" click 1
    sleep 2.5
    if [[ $2 == calibrating || $2 == plot ]]; then
        xdotool mousemove --window "$window" "${calibrate_button[@]}" click 1
        sleep 4
    fi
    if [[ $2 == plot ]]; then
        local p=(${plot_button[$1]})
        xdotool mousemove --window "$window" "${p[0]}" "${p[1]}" click 1
        sleep 1
        # The program's other visible window (a Chinese title is not matched by name).
        local main=$window
        for _ in $(seq 50); do
            window=$(xdotool search --onlyvisible --pid "$app" | grep -vx "$main" | head -n1 || true)
            [[ -n $window ]] && break
            sleep 0.1
        done
        sleep 8 # the plot fills with the turns through the faces
    fi
    if [[ $2 == firmware ]]; then
        local c=(${firmware_clicks[$1]})
        xdotool mousemove --window "$window" "${c[0]}" "${c[1]}" click 1
        sleep 1
        xdotool mousemove --window "$window" "${c[2]}" "${c[3]}" click 1
        sleep 5 # the count-down while the simulated gimbal restarts into its bootloader
        xdotool mousemove --window "$window" "${c[4]}" "${c[5]}" click 1
        xdotool type --delay 5 "$package"
        xdotool key Return
        sleep 1
        xdotool mousemove --window "$window" "${c[6]}" "${c[7]}" click 1
        sleep 2.5
    fi
    xdotool mousemove 600 500
    local name=velmora-$1
    [[ $2 == firmware ]] && name=velmora-firmware-$1
    [[ $2 == plot ]] && name=velmora-plot-$1
    import -window "$window" "$shots/$name.png"
    kill "$app" "$sim"
    wait "$app" "$sim" 2>/dev/null || true
    rm -f "$out"
}

shoot zh_CN calibrating
shoot en_US calibrating
shoot zh_CN plot
shoot en_US plot
shoot zh_CN firmware
shoot en_US firmware
echo "screenshots in $shots"
