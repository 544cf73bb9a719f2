#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

if [[ -x build/default/app/quillfen ]]; then
    exec build/default/app/quillfen "$@"
fi
echo "The tray application is not part of this build yet; the libraries and tests are built." >&2
