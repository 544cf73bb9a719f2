#!/usr/bin/env bash
# Runs the tests as on a busy machine, to find those that lean on timing. Installs what is missing
# and builds the normal and the sanitizer builds, then for ROUNDS rounds (8 by default) runs both
# suites at the same time, each with as many jobs as there are processors, while the morning's
# end-to-end run goes on its own beside them. Prints every failing test of every round and their
# count; the status is 0 only when none failed. Slow: scripts/test.sh and CI leave it out.
#
#     scripts/test-under-load.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

rounds=${1:-8}
if ! [[ "$rounds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [ROUNDS]" >&2
    exit 2
fi
jobs=$(nproc)
morning='Main.AMorningOfWorkBesideARunningCodexTask*'

scripts/install-deps.sh packages.txt test-packages.txt
for preset in default sanitize; do
    echo "== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

logs=build/under-load
rm -rf "$logs"
mkdir -p "$logs"

# The tests a ctest run names under "The following tests FAILED:", one a line.
failed_in() {
    sed -n '/^The following tests FAILED:/,$ s/^[[:space:]]*[0-9]\+ - \(.*\)$/\1/p' "$1"
}

pids=()
trap 'kill "${pids[@]}" 2>/dev/null; exit 130' INT TERM

failures=()
for ((round = 1; round <= rounds; round++)); do
    echo "== round ${round} of ${rounds}"
    before=${#failures[@]}
    pids=()
    ctest --preset default -j "$jobs" >"$logs/${round}-default.log" 2>&1 &
    pids+=($!)
    ctest --preset sanitize -j "$jobs" >"$logs/${round}-sanitize.log" 2>&1 &
    pids+=($!)
    # The test binary itself, not a third ctest in the default build's folder, which the suite
    # beside it is writing.
    timeout 120 build/default/tests/quillfen_desktop_tests --gtest_filter="$morning" \
        >"$logs/${round}-morning.log" 2>&1 &
    pids+=($!)
    for pid in "${pids[@]}"; do
        wait "$pid" || true
    done
    for run in default sanitize; do
        log="$logs/${round}-${run}.log"
        while IFS= read -r test; do
            failures+=("round ${round}, ${run}: ${test}")
        done < <(failed_in "$log")
        if ! grep -q 'tests passed, 0 tests failed' "$log" && [[ -z "$(failed_in "$log")" ]]; then
            failures+=("round ${round}, ${run}: the suite did not finish (${log})")
        fi
    done
    if ! grep -q '^\[  PASSED  \] 1 test\.' "$logs/${round}-morning.log"; then
        failures+=("round ${round}, morning alone: ${morning%\*} (${logs}/${round}-morning.log)")
    fi
    for failure in "${failures[@]:before}"; do
        echo "   ${failure}"
    done
done

echo
echo "== ${#failures[@]} failure(s) in ${rounds} round(s); logs in ${logs}/"
for failure in "${failures[@]}"; do
    echo "   ${failure}"
done
((${#failures[@]} == 0))
