#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a while, then prints per target how many inputs ran
# and what was found.
#
#   fuzz/run.sh [-t SECONDS] [-j PARALLEL] [TARGET...]
#
# Defaults: 60 seconds a target, 4 targets at a time, every target. A run starts from the seeds in
# fuzz/corpus/<target>/ and grows its own corpus in build/fuzz/work/<target>/ (kept between runs,
# never committed); findings go to build/fuzz/findings/<target>/. An input counts as a finding
# when it crashes, takes longer than a second or needs more than 256 MB.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=60
parallel=4
while getopts "t:j:" opt; do
    case "$opt" in
        t) seconds=$OPTARG ;;
        j) parallel=$OPTARG ;;
        *) echo "usage: $0 [-t SECONDS] [-j PARALLEL] [TARGET...]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

# ASan keeps 256 MB of freed memory by default, which alone would pass the memory limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$parallel"

bin=build/fuzz/fuzz
if (($# > 0)); then
    targets=("$@")
else
    targets=()
    for source in fuzz/*Fuzzer.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

run_one() {
    local target=$1
    local work=build/fuzz/work/$target findings=build/fuzz/findings/$target
    mkdir -p "$work" "$findings"
    touch "$findings/.started"
    # ASan keeps some bookkeeping for every thread that ever ran, and the prompt cache starts one
    # for each fetch: over a million inputs that alone passes 256 MB. No single allocation may.
    local rss=256
    [[ "$target" == LangfusePromptCacheFuzzer ]] && rss=512
    # The time-out kills a target that hangs outside libFuzzer's own watch.
    timeout --kill-after=30 $((seconds + 120)) \
        "$bin/$target" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=$rss -malloc_limit_mb=256 -max_len=16384 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" \
        >"build/fuzz/findings/$target.log" 2>&1 || true
}

echo "== fuzzing ${#targets[@]} targets, ${seconds} s each, ${parallel} at a time"
running=0
for target in "${targets[@]}"; do
    run_one "$target" &
    running=$((running + 1))
    if ((running >= parallel)); then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

printf '%-28s %14s  %s\n' target executions findings
found=0
for target in "${targets[@]}"; do
    log=build/fuzz/findings/$target.log
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
    mapfile -t hits < <(find "build/fuzz/findings/$target" -maxdepth 1 -type f -newer "build/fuzz/findings/$target/.started" \
        \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \))
    summary=$(grep -m1 -E '^SUMMARY|ERROR: libFuzzer' "$log" || true)
    if ((${#hits[@]} > 0)); then
        found=$((found + ${#hits[@]}))
        printf '%-28s %14s  %s\n' "$target" "${runs:-?}" "${hits[*]} ${summary}"
    else
        printf '%-28s %14s  %s\n' "$target" "${runs:-?}" "none"
    fi
done
((found == 0))
