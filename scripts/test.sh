#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test, normal and sanitizer builds (the
# thread sanitizer's over the core library and its tests only), and replays the fuzz targets over
# their corpora (fuzz/run.sh fuzzes for longer).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh packages.txt test-packages.txt

jobs=$(nproc)
for preset in default sanitize tsan; do
    echo "== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== ${preset}: tests"
    ctest --preset "$preset" -j "$jobs"
done

echo "== fuzz: build the targets and replay their corpora"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"
