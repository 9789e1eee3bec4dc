#!/usr/bin/env bash
# CI's sanitizer pass: an ASan+UBSan build (clang, its own build folder, fuzz targets included),
# its unit and integration tests and the shared journal's test, then each fuzz target for a short
# run on a copy of its seeds.
# VELMORA_ASAN_BUILD_DIR (default build-asan) and VELMORA_FUZZ_SECONDS (default 30) adjust it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --sanitizers

build_dir=${VELMORA_ASAN_BUILD_DIR:-build-asan}
fuzz_seconds=${VELMORA_FUZZ_SECONDS:-30}
fuzzers=(fuzz_ptz_unpack fuzz_bootloader_frames fuzz_stars_frames fuzz_update_replies fuzz_minisign_key fuzz_minisign_signature fuzz_catalogue_index)
started=$SECONDS

# UBSan findings end the program (no recovery), so a test or fuzzer that meets one fails.
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="$sanitize" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build_dir"
echo "sanitizers: build done after $((SECONDS - started)) s"

# LeakSanitizer stays on: the tests end cleanly under it, Qt's own allocations included. UBSan
# prints where a finding came from. Options already in the environment are kept.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Leaks inside system libraries (OpenSSL under libpq) are not Velmora's to mend.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0}
ctest --test-dir "$build_dir" -L "unit|integration" --output-on-failure --timeout 600
# Of the whole-program tests, the shared journal's: its writers and velmora-cli meet a server
# that restarts under them.
ctest --test-dir "$build_dir" -R '^tst_journal_shared$' --output-on-failure --timeout 600
echo "sanitizers: tests done after $((SECONDS - started)) s"

failed=()
artifacts="$build_dir/fuzz-artifacts"
mkdir -p "$artifacts"
for target in "${fuzzers[@]}"; do
    corpus=$(mktemp -d)
    if [[ -d fuzz/corpus/$target ]]; then
        cp -R fuzz/corpus/"$target"/. "$corpus"/
    fi
    log="$artifacts/$target.log"
    status=0
    "$build_dir/bin/$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    corpus_size=$(find "$corpus" -type f | wc -l)
    echo "fuzz: $target: ${runs:-?} executions, ${rate:-?} exec/s, corpus $corpus_size inputs, exit status $status"
    if ((status != 0)); then
        failed+=("$target")
        tail -n 40 "$log"
    fi
    rm -rf "$corpus"
done
echo "sanitizers: fuzzing done after $((SECONDS - started)) s"

if ((${#failed[@]} > 0)); then
    echo "sanitizers: fuzz targets failed: ${failed[*]} (inputs in $artifacts)"
    exit 1
fi
