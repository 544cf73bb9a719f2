#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test, normal and sanitizer builds (the
# thread sanitizer's over the core library and its tests only), replays the fuzz targets over
# their corpora (fuzz/run.sh fuzzes for longer), and runs the normal build's tests on Debian 13 in
# a tree of its own, there with each of the application's files compiled on its own (`files`). Run by
# root, the normal build and Debian 13's run as an ordinary account, as a contributor's would, and the
# sanitizer builds as root (scripts/test-as-contributor.sh). Named stages run alone, in the order
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
    elif [[ $stage == fuzz ]]; then
        echo "== fuzz: build the targets and replay their corpora"
        cmake --preset fuzz >/dev/null
        cmake --build --preset fuzz -j "$jobs"
        ctest --preset fuzz -j "$jobs"
    else
        echo "== ${stage}: configure and build"
        cmake --preset "$stage" >/dev/null
        cmake --build --preset "$stage" -j "$jobs"
        echo "== ${stage}: tests"
        ctest --preset "$stage" -j "$jobs"
    fi
done
