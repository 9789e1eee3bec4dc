#!/usr/bin/env bash
# Sets up, builds and starts Velmora together with the bundled gimbal simulator, so that
# everything can be tried without a gimbal: the simulator plays the gimbal at run time and turns
# into its bootloader when the firmware tab connects. Extra arguments go to the simulator
# (for example --profile 1, --solve-fails, --silent; see build/bin/velmora-gimbal-sim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only what is started below: the window, the simulator and the demo package (tests, benchmarks
# and the other tools are built by scripts/test.sh or a plain scripts/build.sh).
bash scripts/build.sh velmora velmora-gimbal-sim velmora_demo_package velmora-cli velmora-ptz
build=${VELMORA_BUILD_DIR:-build}
bin=$build/bin
package=$(realpath -m "$build/share/velmora/demo-k5.ptz")

# Everything the demo keeps (settings, the catalogue's cache and sequences, the journal) goes to
# a home of its own, removed on exit: the user's own folders are never written. It starts from a
# copy of the user's settings (product, last port), without the journal's, so the demo's records
# never reach a shared journal; what the demo changes is not copied back.
unset VELMORA_JOURNAL # a shared journal of the user's shell gets no demo records either
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
# A TERM or HUP (a closed terminal) ends the script through its EXIT trap too, which tidies up.
trap 'exit 143' TERM
trap 'exit 129' HUP
demo_env=(XDG_CONFIG_HOME="$demo/config" XDG_CACHE_HOME="$demo/cache" XDG_STATE_HOME="$demo/state"
    XDG_DATA_HOME="$demo/data" VELMORA_JOURNAL_FILE="$demo/data/journal.sqlite")
mkdir -p "$demo/catalogue" "$demo/notes" "$demo/config/Velmora/trusted-keys" "$demo/data"
user_settings=${XDG_CONFIG_HOME:-$HOME/.config}/Velmora/Velmora.conf
if [[ -f "$user_settings" ]]; then
    awk '/^\[/ { skip = ($0 == "[journal]") } !skip' "$user_settings" >"$demo/config/Velmora/Velmora.conf"
fi

# A catalogue in a folder, signed at run time with a demo key that only this demo trusts, shows
# the catalogue without a network; its package is signed too, as a maker's would be.
cp "$package" "$demo/catalogue/"
echo "Demo release for the simulator." >"$demo/notes/1.05.en.txt"
minisign -G -W -p "$demo/config/Velmora/trusted-keys/demo.pub" -s "$demo/demo.key" >/dev/null
minisign -S -s "$demo/demo.key" -m "$demo/catalogue/demo-k5.ptz" -t "demo package" >/dev/null
env "${demo_env[@]}" "$bin/velmora-ptz" catalogue "$demo/catalogue" --notes-from "$demo/notes" >/dev/null
minisign -S -s "$demo/demo.key" -m "$demo/catalogue/catalogue.json" -t "demo catalogue" >/dev/null
echo "Demo catalogue at $demo/catalogue, releases for the simulator's chips:"
env "${demo_env[@]}" "$bin/velmora-cli" catalogue list --catalogue "$demo/catalogue" --hardware 0101,0102
env "${demo_env[@]}" "$bin/velmora-cli" catalogue fetch latest --catalogue "$demo/catalogue" --hardware 0101,0102 >/dev/null

out=$(mktemp)
# The default product (K5-Delta) addresses its chips one by one, hence --multi-chip; --match makes
# its chips those of the demo package, so a chip written with it reports the package's version.
"$bin/velmora-gimbal-sim" --role auto --multi-chip --match "$build/share/velmora/demo-k5.ptz" --user "$@" >"$out" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$out"; rm -rf "$demo"' EXIT

# The simulator prints the line to use once its pseudo-terminal is ready.
for _ in $(seq 100); do
    line=$(grep -m1 '^VELMORA_VIRTUAL_PORTS=' "$out" || true)
    [[ -n "$line" ]] && break
    kill -0 "$sim" 2>/dev/null || { echo "the simulator did not start" >&2; exit 1; }
    sleep 0.1
done
[[ -n "$line" ]] || { echo "the simulator did not report its port" >&2; exit 1; }

echo "Simulated gimbal at ${line#*=}: open it in Velmora's port list."
echo "Demo firmware package for the firmware tab's Browse: $package"
echo "After Connect, the firmware tab offers the demo catalogue's release (this window uses the demo's own settings)."
# In the background, so that a TERM or HUP reaches the traps at once rather than when the window closes.
env "$line" "${demo_env[@]}" VELMORA_CATALOGUE="$demo/catalogue" "$bin/velmora" &
app=$!
trap 'kill "$app" "$sim" 2>/dev/null; wait "$app" "$sim" 2>/dev/null; rm -f "$out"; rm -rf "$demo"' EXIT
wait "$app"
