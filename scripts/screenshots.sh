#!/usr/bin/env bash
# Retakes docs/screenshots/: Velmora in Chinese and in English under Xvfb, connected to the
# bundled simulator. Needs no display of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --screenshots
bash scripts/build.sh velmora velmora-gimbal-sim velmora_demo_package velmora-ptz
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
Xvfb "$display" -screen 0 1024x600x24 -nolisten tcp &
xvfb=$!
export DISPLAY=$display
# The server takes a moment to listen on a busy machine; nothing may ask it for windows before.
for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
sim=""
trap 'kill $sim $xvfb 2>/dev/null || true; rm -rf "$shot_home"' EXIT

# Window-relative positions of the open and calibrate buttons (both languages lay them out alike).
open_button=(120 31)
calibrate_button=(175 31)
# The sensor plot's button in the calibration tab's corner, and the history's left of it, per language.
declare -A plot_button=([zh_CN]="380 69" [en_US]="381 69")
declare -A history_button=([zh_CN]="330 69" [en_US]="330 69")
# On the firmware tab the two languages differ: tab, connect button, path box, update button.
declare -A firmware_clicks=(
    [zh_CN]="122 70 198 31 190 100 375 428"
    [en_US]="192 70 190 31 200 100 398 427"
)

# Records of a few days on a line, for the History window: the program makes the journal's
# tables (by opening History once), then these rows go in beside them.
seed_journal() {
    local when=$(date -u -d 'yesterday 09:12' +%Y-%m-%dT%H:%M:%S)
    sqlite3 "$1" <<SQL
INSERT INTO records (id, kind, started, ended, station, version, port, adapter_serial, product_row, outcome,
    failed_chip, package_name, package_size, package_sha256, package_arch, pages_written, end_command)
VALUES
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a01', 'update', '2026-11-27T08:41:10.120Z', '2026-11-27T08:41:32.870Z', 'line-2', '1.0.0', '/dev/ttyUSB0', '0001A2F3', 4, 'success', 0, 'k5-delta-1.04.ptz', 26880, 'b1946ac92492d2347c6235b4d2611184e8c1a3f0a5d0f0e3e3f7c1d9a2b4c6d8', 19253, 96, 'run'),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a02', 'update', '2026-11-28T10:05:02.004Z', '2026-11-28T10:05:09.551Z', 'line-2', '1.0.0', '/dev/ttyUSB0', '0001A2F3', 4, 'hardware-mismatch', 2, 'k5-ember-1.05.ptz', 24576, '5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03', 19253, 0, ''),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a03', 'update', '2026-11-28T10:06:40.310Z', '2026-11-28T10:06:45.002Z', 'line-2', '1.0.0', '/dev/ttyUSB1', '0001B7C4', 4, 'no-bootloader', 0, NULL, NULL, NULL, NULL, 0, ''),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a05', 'update', '2026-11-30T14:22:18.900Z', '2026-11-30T14:22:44.135Z', 'line-1', '1.0.0', '/dev/ttyUSB0', '0001A2F3', 4, 'success', 0, 'k5-delta-1.05.ptz', 26880, 'd2a84f4b8b650937ec8f73cd8be2c74add5a911ba64df27458ed8229da804a26', 19253, 96, 'run');
INSERT INTO records (id, kind, started, ended, station, version, port, adapter_serial, product_row, outcome,
    failed_step, step_reached, faces, save_acknowledged)
VALUES
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a04', 'calibration', '2026-11-29T11:30:00.000Z', '2026-11-29T11:33:12.400Z', 'line-3', '1.0.0', '/dev/ttyUSB0', '0001A2F3', 6, 'success', NULL, 'save', '[[0.01,0,1],[0,-0.01,-1],[1,0.01,0],[-1,0,0.01],[0,1,0],[0.01,-1,0]]', 1),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a06', 'calibration', '$when.000Z', '$when.500Z', 'line-3', '1.0.0', '/dev/ttyUSB0', '0001A2F3', 6, 'step-failed', 'solve', 'solve', '[[0.01,0,1],[0,-0.01,-1],[1,0.01,0],[-1,0,0.01],[0,1,0],[0.01,-1,0]]', 0);
INSERT INTO chips (record_id, position, address, cpuid, serial, hardware, boot, firmware_before, firmware_after, result)
VALUES
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a01', 1, 1, 1094861636, 4097, 257, 16, 103, 104, 'written'),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a01', 2, 2, 1111638594, 4098, 258, 16, 103, 104, 'written'),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a02', 1, 1, 1094861636, 4097, 257, 16, 104, 105, 'not-reached'),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a02', 2, 2, 1111638594, 4098, 258, 16, 104, 105, 'not-reached'),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a05', 1, 1, 1094861636, 4097, 257, 16, 104, 105, 'written'),
 ('6d1c0a52-3f0e-4d55-9a4e-0c1d2e3f4a05', 2, 2, 1111638594, 4098, 258, 16, 104, 105, 'up-to-date');
SQL
}

# A signed demo catalogue in a folder holding the demo package, and a configuration folder that
# trusts its key only: $1 is the folder to make them in.
make_catalogue() {
    mkdir -p "$1/catalogue" "$1/notes" "$1/config/Velmora/trusted-keys"
    cp "$package" "$1/catalogue/"
    echo "Smoother pan; the tilt motor starts more quietly." >"$1/notes/1.05.en.txt"
    echo "平移更顺滑；俯仰电机启动更安静。" >"$1/notes/1.05.zh_CN.txt"
    minisign -G -W -p "$1/config/Velmora/trusted-keys/demo.pub" -s "$1/demo.key" >/dev/null
    "$bin/velmora-ptz" catalogue "$1/catalogue" --notes-from "$1/notes" >/dev/null
    minisign -S -s "$1/demo.key" -m "$1/catalogue/catalogue.json" -t "demo catalogue" >/dev/null
}

# $1: locale; $2: what to show ("connected", "calibrating": a step with its words, "plot": the
# sensor plot window while the simulated user turns the gimbal through a calibration,
# "firmware": an update under way, "catalogue": the firmware tab's offer from a demo catalogue
# after Connect, or "history": the History window over a seeded journal).
shoot() {
    local out link ports app window
    # A journal of its own: the shots never write into the user's.
    local journal
    journal=$(mktemp -d)/journal.sqlite
    export VELMORA_JOURNAL_FILE=$journal
    if [[ $2 == history ]]; then
        # Opening History once makes the journal's tables; the seeded rows then go in.
        LANG=$1.UTF-8 LC_ALL=$1.UTF-8 XDG_CONFIG_HOME=$(mktemp -d) "$bin/velmora" 2>/dev/null &
        app=$!
        window=$(xdotool search --sync --onlyvisible --name '^Velmora$' | head -n1)
        sleep 1
        local h=(${history_button[$1]})
        xdotool mousemove --window "$window" "${h[0]}" "${h[1]}" click 1
        sleep 1
        kill "$app"
        wait "$app" 2>/dev/null || true
        seed_journal "$journal"
    fi
    out=$(mktemp)
    link=$(mktemp -u /tmp/velmora-shot.XXXX)
    "$bin/velmora-gimbal-sim" --role auto --multi-chip --user --link "$link" >"$out" &
    sim=$!
    for _ in $(seq 50); do grep -q '^VELMORA_VIRTUAL_PORTS=' "$out" && break; sleep 0.1; done
    ports=$(grep -m1 '^VELMORA_VIRTUAL_PORTS=' "$out" | cut -d= -f2)
    # A settings directory of its own: every shot starts from the same, empty memory.
    local config catalogue_env=()
    config=$(mktemp -d)
    if [[ $2 == catalogue ]]; then
        make_catalogue "$config"
        catalogue_env=(VELMORA_CATALOGUE="$config/catalogue" XDG_CACHE_HOME="$config/cache" XDG_STATE_HOME="$config/state")
        config=$config/config
    fi
    env "${catalogue_env[@]}" HOME=$shot_home XDG_CONFIG_HOME=$config LANG=$1.UTF-8 LC_ALL=$1.UTF-8 VELMORA_VIRTUAL_PORTS=$ports "$bin/velmora" 2>/dev/null &
    app=$!
    window=$(xdotool search --sync --onlyvisible --name '^Velmora$' | head -n1)
    sleep 1
    xdotool mousemove --window "$window" "${open_button[@]}" click 1
    sleep 2.5
    if [[ $2 == calibrating || $2 == plot ]]; then
        xdotool mousemove --window "$window" "${calibrate_button[@]}" click 1
        sleep 4
    fi
    if [[ $2 == plot || $2 == history ]]; then
        local p=(${plot_button[$1]})
        [[ $2 == history ]] && p=(${history_button[$1]})
        xdotool mousemove --window "$window" "${p[0]}" "${p[1]}" click 1
        sleep 1
        # The program's other visible window (a Chinese title is not matched by name).
        local main=$window
        for _ in $(seq 50); do
            window=$(xdotool search --onlyvisible --pid "$app" | grep -vx "$main" | head -n1 || true)
            [[ -n $window ]] && break
            sleep 0.1
        done
        [[ $2 == plot ]] && sleep 8 # the plot fills with the turns through the faces
    fi
    if [[ $2 == catalogue ]]; then
        local c=(${firmware_clicks[$1]})
        xdotool mousemove --window "$window" "${c[0]}" "${c[1]}" click 1
        sleep 1
        xdotool mousemove --window "$window" "${c[2]}" "${c[3]}" click 1
        sleep 7 # the count-down while the simulated gimbal restarts into its bootloader, then the index
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
    [[ $2 == history ]] && name=velmora-history-$1
    [[ $2 == catalogue ]] && name=velmora-catalogue-$1
    import -window "$window" "$shots/$name.png"
    kill "$app" "$sim"
    wait "$app" "$sim" 2>/dev/null || true
    rm -f "$out"
}

# SHOTS (for example SHOTS=history) retakes only those.
for what in ${SHOTS:-calibrating plot firmware catalogue history}; do
    shoot zh_CN "$what"
    shoot en_US "$what"
done
echo "screenshots in $shots"
