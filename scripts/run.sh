#!/usr/bin/env bash
# Installs what building and running need, builds the application alone (no tests, no
# benchmarks, in build/run) and starts it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh packages.txt
cmake --preset run >/dev/null
cmake --build --preset run -j "$(nproc)"

exec build/run/app/quillfen "$@"
