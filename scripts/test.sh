#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test, normal and sanitizer builds (the
# thread sanitizer's over the core library and its tests only), replays the fuzz targets over
# their corpora (fuzz/run.sh fuzzes for longer), and runs the normal build's tests on Debian 13 in
# a tree of its own, where it also compiles each of the application's files on its own (`files`,
# a build without tests). Run by root, the normal build and Debian 13's run as an ordinary account,
# as a contributor's would, and the sanitizer builds as root (scripts/test-as-contributor.sh). Named stages run alone, in the order
# given, but for Debian 13's, which runs beside the others from the start and is shown in its place.
# Root's run is contained (scripts/test-containment.sh): nothing it started outlives it.
#
#     scripts/test.sh [default|files|sanitize|tsan|fuzz|debian13 ...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/test-containment.sh

stages=("$@")
((${#stages[@]} > 0)) || stages=(default sanitize tsan fuzz debian13)
for stage in "${stages[@]}"; do
    case $stage in
    default | files | sanitize | tsan | fuzz | debian13) ;;
    *)
        echo "No stage is named $(printf %q "$stage"): default, files, sanitize, tsan, fuzz or debian13" >&2
        exit 2
        ;;
    esac
done
retire_older_account
contained "$PWD/scripts/test.sh" "$@"

scripts/install-deps.sh packages.txt test-packages.txt

jobs=$(nproc)

# ctest with the arguments, over the build folder $1. When tests fail, what each said of its
# failure follows ctest's own list at the very end, where a reader of only the last lines looks:
# each "file:line: Failure" with the lines that explain it, or, where it said none (a crash, a
# time-out), its last lines.
tests_in() {
    local temporary=$1/Testing/Temporary status=0
    shift
    rm -f "$temporary/LastTestsFailed.log"
    ctest "$@" || status=$?
    if ((status != 0)) && [[ -f $temporary/LastTestsFailed.log && -f $temporary/LastTest.log ]]; then
        echo "== what the failing tests said"
        awk 'NR == FNR { failing[substr($0, index($0, ":") + 1)] = 1; next }
            /^[0-9]+\/[0-9]+ Test: / { name = substr($0, index($0, " Test: ") + 7); next }
            /^Output:$/ && (name in failing) { inside = 1; kept = 0; said = 0; explaining = 0; print "-- " name; next }
            !inside { next }
            /^<end of output>$/ {
                for (i = (kept > 8 ? kept - 7 : 1); !said && i <= kept; i++) print "   " substr(last[i], 1, 300)
                inside = 0
                next
            }
            { last[++kept] = $0 }
            /: Failure$/ { explaining = 6; said = 1 }
            explaining > 0 {
                if ($0 == "" || /^\[  FAILED  \]/) { explaining = 0; next }
                print "   " substr($0, 1, 300)
                explaining--
            }' "$temporary/LastTestsFailed.log" "$temporary/LastTest.log"
    fi
    return "$status"
}

# Debian 13's tree spends its first minutes fetching and unpacking, and its tests wait on their
# compositors: beside the other stages it takes far less of the run than after them.
beside=""
if [[ " ${stages[*]} " == *" debian13 "* ]]; then
    mkdir -p build
    beside=build/debian13.log
    scripts/test-as-contributor.sh debian13 >"$beside" 2>&1 &
    besidePid=$!
    echo "== debian13: started beside the other stages; what it says follows in its place"
fi
for stage in "${stages[@]}"; do
    if [[ $stage == debian13 ]]; then
        status=0
        wait "$besidePid" || status=$?
        visibly <"$beside"
        ((status == 0)) || exit "$status"
    elif [[ $stage == default && $(id -u) -eq 0 ]]; then
        scripts/test-as-contributor.sh
    elif [[ $stage == files ]]; then
        echo "== files: each of the application's files compiled on its own, without the tests"
        cmake --preset files >/dev/null
        cmake --build --preset files -j "$jobs"
    elif [[ $stage == fuzz ]]; then
        echo "== fuzz: build the targets and replay their corpora"
        cmake --preset fuzz >/dev/null
        cmake --build --preset fuzz -j "$jobs"
        tests_in build/fuzz --preset fuzz -j "$jobs"
    else
        echo "== ${stage}: configure and build"
        cmake --preset "$stage" >/dev/null
        cmake --build --preset "$stage" -j "$jobs"
        echo "== ${stage}: tests"
        tests_in "build/$stage" --preset "$stage" -j "$jobs"
    fi
done
