#!/usr/bin/env bash
# Installs what building and running need, builds a release and installs it under PREFIX
# (default ~/.local): the application, its menu entry and its icon. scripts/uninstall.sh
# removes it again.
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."

prefix=$(realpath -m -s -- "${1:-$HOME/.local}")

# A prefix that is not the user's own (/usr/local, say) is written through sudo. Without one,
# that is said before the build, not after it.
existing=$prefix
while [[ ! -e $existing ]]; do existing=$(dirname "$existing"); done
owner=()
if [[ ! -w $existing ]]; then
    if ! command -v sudo >/dev/null; then
        echo "You cannot write to $prefix, and there is no sudo here to install it as root." >&2
        echo "Run this as root, install sudo, or choose a prefix of your own, such as ~/.local:" >&2
        echo "    scripts/install.sh ~/.local" >&2
        exit 1
    fi
    owner=(sudo)
fi
# Root installs from the build folder, running the scripts CMake wrote there: whoever else could
# change them would choose what root does. The way to the checkout is judged before the build, the
# whole build folder after it.
if [[ ${#owner[@]} -gt 0 || $EUID -eq 0 ]]; then
    source scripts/handoff.sh
    handoff_judge "$PWD" || handoff_refuse
fi

scripts/install-deps.sh packages.txt
cmake --preset install -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build --preset install -j "$(nproc)"
if [[ ! -x build/install/app/quillfen ]]; then
    echo "The tray application is not part of this build yet; nothing was installed." >&2
    exit 1
fi
# The folders it makes are for every user to read and enter and for their owner alone to change,
# as a prefix's are, whatever the umask (a Debian user's is 002: their group could change the program).
umask 022
if [[ ${#owner[@]} -gt 0 || $EUID -eq 0 ]]; then
    handoff_judge_tree "$PWD/build/install" || handoff_refuse
fi
# CMake's list of every file it installed says nothing about how to start them.
"${owner[@]}" cmake --install "$PWD/build/install" >/dev/null
echo "Installed in $prefix. Start it from your desktop's application menu (\"Quillfen\"), or by its path:"
echo "    $prefix/bin/quillfen"
