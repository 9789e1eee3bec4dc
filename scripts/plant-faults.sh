#!/usr/bin/env bash
# Plants small faults in the code one at a time and records which ones the tests catch.
#
#   bash scripts/plant-faults.sh [options]
#     -s DIR    source tree to mutate (default: this repository). Mutating a scratch copy keeps
#               the working tree free for editing while the run goes on:
#                 mkdir -p build-faults/src && git archive HEAD | tar -x -C build-faults/src
#                 bash scripts/plant-faults.sh -s build-faults/src
#     -b DIR    configured build directory of that tree (default: DIR/build; configured with
#               the usual ccache settings if it does not exist yet)
#     -f FILE   fault list (default: tests/faults.txt of this repository)
#     -o DIR    where results.tsv, summary.txt and one log per fault go (default: BUILD/faults)
#     -k REGEX  only the faults whose id matches
#     -t SEC    time limit for one test program's run (default 600)
#
# Each fault replaces one exact piece of text (it must occur exactly once in its file), rebuilds
# only the test programs it names, runs those tests and puts the file back, whatever happens
# (a trap restores it on exit or interruption); at the end the tested programs are built again
# from the restored sources. A fault whose text is not found, or found more
# than once, is reported as "not-applied" and the run goes on; one that does not compile is
# "build-failed". Neither counts in the figures.
#
# Fault list format: blocks of "key: value" lines separated by blank lines; '#' starts a
# comment line. Keys: id, file (relative to the source tree), tests (a ctest -R regex, or
# @NAME for a regex defined with "define NAME REGEX"), desc, from, to. In from/to the token
# <NL> stands for a line break; an empty "to:" deletes the text.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
src=$here
build=
list=$here/tests/faults.txt
out=
only=
limit=600

while getopts "s:b:f:o:k:t:h" opt; do
    case $opt in
        s) src=$(cd "$OPTARG" && pwd) ;;
        b) build=$OPTARG ;;
        f) list=$(cd "$(dirname "$OPTARG")" && pwd)/$(basename "$OPTARG") ;;
        o) out=$OPTARG ;;
        k) only=$OPTARG ;;
        t) limit=$OPTARG ;;
        *) sed -n '2,26p' "$0"; exit 2 ;;
    esac
done
build=${build:-$src/build}
out=${out:-$build/faults}
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$out/configure.log" 2>&1 || {
        echo "configure failed, see $out/configure.log" >&2
        exit 1
    }
fi
export QT_QPA_PLATFORM=offscreen

# The file under mutation and its saved original; restored on any exit.
active=
backup=$(mktemp)
restore() {
    if [ -n "$active" ]; then
        cp "$backup" "$active"
        # A fresh time stamp, so the next build compiles the original again.
        touch "$active"
        active=
    fi
}
trap 'restore; rm -f "$backup"' EXIT
trap 'restore; exit 130' INT TERM HUP

# Replaces the one occurrence of $2 by $3 in file $1; exit status 3: not found, 4: ambiguous.
apply_fault() {
    python3 - "$1" "$2" "$3" <<'EOF'
import sys
path, old, new = sys.argv[1:]
old = old.replace('<NL>', '\n')
new = new.replace('<NL>', '\n')
with open(path, encoding='utf-8') as f:
    text = f.read()
n = text.count(old)
if n != 1:
    sys.exit(3 if n == 0 else 4)
with open(path, 'w', encoding='utf-8') as f:
    f.write(text.replace(old, new, 1))
EOF
}

results=$out/results.tsv
printf 'id\tfolder\tfile\tstatus\tfailed tests\tseconds\tdescription\n' >"$results"
declare -A defines
built=

run_fault() {
    local id=$1 file=$2 tests=$3 desc=$4 from=$5 to=$6
    [ -n "$only" ] && ! [[ $id =~ $only ]] && return
    if [[ $tests == @* ]]; then
        tests=${defines[${tests#@}]:-}
    fi
    local folder=${file%%/*} status failed='' started=$SECONDS log=$out/$id.log
    : >"$log"
    if [ ! -f "$src/$file" ]; then
        status=not-applied
    else
        cp "$src/$file" "$backup"
        active=$src/$file
        apply_fault "$src/$file" "$from" "$to"
        case $? in
            0) status=planted ;;
            3) status=not-applied; echo "text not found" >>"$log" ;;
            *) status=not-applied; echo "text found more than once" >>"$log" ;;
        esac
    fi
    if [ "$status" = planted ]; then
        local targets
        targets=$(ctest --test-dir "$build" -N -R "$tests" | sed -n 's/^ *Test *#[0-9]*: *//p')
        if [ -z "$targets" ]; then
            status=no-tests
        elif built="$built $targets" && ! cmake --build "$build" -j2 --target $targets >>"$log" 2>&1; then
            status=build-failed
        else
            # One test at a time in the order they are defined (fast unit tests come first in
            # each folder), stopping at the first that fails.
            status=missed
            local test
            for test in $targets; do
                if ! timeout -k 10 "$limit" ctest --test-dir "$build" -R "^$test\$" \
                        --output-on-failure >>"$log" 2>&1; then
                    status=caught
                    failed=$test
                    break
                fi
            done
        fi
    fi
    restore
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$folder" "$file" "$status" "$failed" \
        "$((SECONDS - started))" "$desc" >>"$results"
    printf '%-10s %-13s %4ss  %s\n' "$id" "$status" "$((SECONDS - started))" "$desc"
}

id= file= tests= desc= from= to= have_to=
flush() {
    if [ -n "$id" ]; then
        if [ -z "$file" ] || [ -z "$tests" ] || [ -z "$from" ] || [ -z "$have_to" ]; then
            echo "fault $id: file, tests, from and to are all needed" >&2
        else
            run_fault "$id" "$file" "$tests" "$desc" "$from" "$to"
        fi
    fi
    id= file= tests= desc= from= to= have_to=
}

while IFS= read -r line || [ -n "$line" ]; do
    case $line in
        '#'*) continue ;;
        define\ *)
            read -r _ name regex <<<"$line"
            defines[$name]=$regex
            continue ;;
        '') flush; continue ;;
    esac
    key=${line%%:*}
    value=${line#*:}
    value=${value# }
    case $key in
        id) id=$value ;;
        file) file=$value ;;
        tests) tests=$value ;;
        desc) desc=$value ;;
        from) from=$value ;;
        to) to=$value; have_to=1 ;;
        *) echo "unknown key in: $line" >&2 ;;
    esac
done <"$list"
flush

# The programs were last built with a fault in them: build them again from the restored sources.
if [ -n "$built" ]; then
    echo "rebuilding the tested programs from the restored sources"
    cmake --build "$build" -j2 --target $(tr ' ' '\n' <<<"$built" | sort -u) >"$out/rebuild.log" 2>&1 \
        || echo "rebuild failed, see $out/rebuild.log" >&2
fi

# Per folder: caught / planted (faults not applied or not built are left out).
awk -F'\t' 'NR > 1 {
        key = $2
        if ($4 == "caught" || $4 == "missed") { total[key]++; if ($4 == "caught") caught[key]++ }
        else other[key]++
        if ($3 == "update/UpdateCommands.cpp" && ($4 == "caught" || $4 == "missed")) {
            ct++; if ($4 == "caught") cc++ }
    }
    END {
        for (k in total) { printf "%-12s %3d / %3d caught (%d%%)\n", k, caught[k], total[k], 100 * caught[k] / total[k]; all += total[k]; got += caught[k] }
        for (k in other) printf "%-12s %3d not applied or not built\n", k, other[k]
        if (ct) printf "%-12s %3d / %3d caught (update/UpdateCommands.cpp)\n", "", cc, ct
        if (all) printf "%-12s %3d / %3d caught (%d%%)\n", "all", got, all, 100 * got / all
    }' "$results" | sort | tee "$out/summary.txt"
echo "results: $results"
