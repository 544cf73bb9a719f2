#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test, normal and sanitizer builds (the
# thread sanitizer's over the core library and its tests only), replays the fuzz targets over
# their corpora (fuzz/run.sh fuzzes for longer), and runs the normal build's tests on Debian 13 in
# a tree of its own (scripts/test-debian13.sh). Named stages run alone, in the order given.
#
#     scripts/test.sh [default|sanitize|tsan|fuzz|debian13 ...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

stages=("$@")
((${#stages[@]} > 0)) || stages=(default sanitize tsan fuzz debian13)
for stage in "${stages[@]}"; do
    case $stage in
    default | sanitize | tsan | fuzz | debian13) ;;
    *)
        echo "No stage is named $(printf %q "$stage"): default, sanitize, tsan, fuzz or debian13" >&2
        exit 2
        ;;
    esac
done

scripts/install-deps.sh packages.txt test-packages.txt

jobs=$(nproc)
for stage in "${stages[@]}"; do
    case $stage in
    debian13)
        scripts/test-debian13.sh
        ;;
    fuzz)
        echo "== fuzz: build the targets and replay their corpora"
        cmake --preset fuzz >/dev/null
        cmake --build --preset fuzz -j "$jobs"
        ctest --preset fuzz -j "$jobs"
        ;;
    *)
        echo "== ${stage}: configure and build"
        cmake --preset "$stage" >/dev/null
        cmake --build --preset "$stage" -j "$jobs"
        echo "== ${stage}: tests"
        ctest --preset "$stage" -j "$jobs"
        ;;
    esac
done
