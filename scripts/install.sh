#!/usr/bin/env bash
# Installs what building and running need, builds a release and installs it under PREFIX
# (default ~/.local): the application, its menu entry and its icon. Each prefix has a build folder
# of its own (build/install, then build/install-2 and on), which names that copy for
# scripts/uninstall.sh.
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."
# What it builds and installs is for every user to read and for its owner alone to change, whatever
# the umask (a Debian user's is 002: their group could change the program). A refusal asks what
# the user's own umask would make of a clone.
handoff_caller_umask=$(umask)
umask 022

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
# Root runs and installs what the build makes of this checkout: whoever else could change any of it
# (a header in a folder open to a teammate, a cache in a build folder, a link to a name not made
# yet) would choose what root runs. So every file, folder, link and access list of it, the build
# folders too, is judged before anything runs, whoever calls sudo. Through sudo, root installs the
# packages and runs cmake --install; the configure and the build are the user's, as them.
asCaller=()
if [[ ${#owner[@]} -gt 0 || $EUID -eq 0 ]]; then
    source scripts/handoff.sh
    asCaller=("${handoff_as_caller[@]}")
    # shellcheck disable=SC2119 # the way on is the same command
    handoff_judge_checkout
fi
# sudo is asked once, here, before anything is built: the password now, in the terminal, not after
# minutes of building, and a user who may not use it hears so at once.
if ((${#owner[@]})) && ! sudo -v; then
    echo "sudo did not let you install into $prefix, and nothing was built. Install it for yourself" >&2
    echo "into a prefix of your own, such as ~/.local:" >&2
    echo "    scripts/install.sh ~/.local" >&2
    echo "or ask whoever looks after this machine to install it for everyone." >&2
    exit 1
fi

scripts/install-deps.sh packages.txt
build=
for folder in build/install build/install-*; do
    if [[ -f $folder/CMakeCache.txt &&
        $(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$folder/CMakeCache.txt") == "$prefix" ]]; then
        build=$folder
        break
    fi
done
if [[ -z $build ]]; then
    build=build/install
    for ((n = 2; ; n++)); do
        [[ -e $build/CMakeCache.txt ]] || break
        build=build/install-$n
    done
fi
"${asCaller[@]}" cmake --preset install -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
"${asCaller[@]}" cmake --build "$build" -j "$(nproc)"
if [[ ! -x $build/app/quillfen ]]; then
    echo "The tray application is not part of this build yet; nothing was installed." >&2
    exit 1
fi
if [[ ${#owner[@]} -gt 0 || $EUID -eq 0 ]]; then
    # Root with nobody to build for has built it itself.
    ((${#asCaller[@]} || EUID != 0)) || handoff_ran+=("$PWD")
    handoff_judge_tree "$PWD/$build" || handoff_refuse
fi
# cmake --install writes its lists of what it installed into the build folder, rewriting a file in
# place: made first as the user's, they stay the user's when root writes them. Where the user may
# not write, the build folder is root's.
"${asCaller[@]}" touch -- "$build/install_manifest.txt" "$build/install_folders.txt" 2>/dev/null || true
# CMake's list of every file it installed says nothing about how to start them.
"${owner[@]}" cmake --install "$PWD/$build" >/dev/null

# The desktop's menu lists the entries below its data folders: XDG_DATA_DIRS (by default
# /usr/local/share and /usr/share) and the user's own (~/.local/share). XDG says a relative one is
# to be ignored.
home=$HOME
((${#asCaller[@]} == 0)) || home=$handoff_home
menuReads=()
IFS=: read -r -a menuReads <<<"${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
menuReads+=("${XDG_DATA_HOME:-$home/.local/share}" "$home/.local/share")
shown=
for folder in "${menuReads[@]}"; do
    [[ $folder == /* && $(realpath -m -s -- "$folder") == "$prefix/share" ]] && shown=1
done
if [[ -n $shown ]]; then
    echo "Installed in $prefix. Start it from your desktop's application menu (\"Quillfen\"), or by its path:"
    echo "    $prefix/bin/quillfen"
else
    echo "Installed in $prefix. Start it by its path:"
    echo "    $prefix/bin/quillfen"
    echo "Your desktop's menu does not read $prefix/share: it lists Quillfen for you once you have started it" \
        "so (it then adds itself to your menu), or for every session that has $prefix/share in XDG_DATA_DIRS" \
        "(in ~/.profile, say: export XDG_DATA_DIRS=\"$prefix/share:\${XDG_DATA_DIRS:-/usr/local/share:/usr/share}\")."
fi
