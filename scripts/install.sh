#!/usr/bin/env bash
# Installs what is missing, builds a release and installs it under PREFIX (default ~/.local):
# the application, its menu entry and its icon. scripts/uninstall.sh removes it again.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

prefix=$(realpath -m -s -- "${1:-$HOME/.local}")
scripts/install-deps.sh
cmake --preset install -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build --preset install -j "$(nproc)"
if [[ ! -x build/install/app/quillfen ]]; then
    echo "The tray application is not part of this build yet; nothing was installed." >&2
    exit 1
fi

# A prefix that is not the user's own (/usr/local, say) is written through sudo.
existing=$prefix
while [[ ! -e $existing ]]; do existing=$(dirname "$existing"); done
if [[ -w $existing ]]; then
    cmake --install build/install
else
    sudo cmake --install build/install
fi
