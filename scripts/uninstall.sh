#!/usr/bin/env bash
# Removes what scripts/install.sh installed (the files of the build folder's install manifest,
# the installed build as the updater may have left it, and the folders the install created),
# and what the installed application wrote for you: its keep-alive service and wrapper, its
# autostart entry, its menu entry (and that folder's MIME cache is brought up to date), its cache
# folder with the builds the updater kept aside, its status line and prompt hook in Claude Code's
# settings with the two scripts they run (your own status line back, where it replaced one), and
# its line in mimeapps.list (the file too, when nothing else was in it).
# A running installed copy is asked to quit. Your data, the journals and your settings stay.
# DESTDIR is honoured as by the install.
#
#   scripts/uninstall.sh [BUILD_FOLDER]      (default build/install)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=${1:-build/install}
manifest=$build/install_manifest.txt
if [[ ! -f $manifest ]]; then
    echo "Nothing to uninstall: $manifest is missing." >&2
    exit 1
fi
# Named by where it is, so that no link swapped after it was judged leads root elsewhere.
build=$(cd -P -- "$build" && pwd -P)
manifest=$build/install_manifest.txt
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
app=org.quillfen.Quillfen
stage=${DESTDIR:-}
installedBuild=$stage$prefix/lib/$app

# A prefix that is not the user's own (/usr/local, say) is changed through sudo.
existing=$stage$prefix
while [[ ! -e $existing ]]; do existing=$(dirname "$existing"); done
owner=()
if [[ ! -w $existing ]]; then
    if ! command -v sudo >/dev/null; then
        echo "You cannot change $stage$prefix, and there is no sudo here to remove its files as root." >&2
        echo "Run this again as root, or install sudo and run it again." >&2
        exit 1
    fi
    owner=(sudo)
fi

# Nothing is removed here by its path: the application's own code finds each place one name at a
# time and removes through the folder it found, so that nobody's link on the way (in a home or a
# prefix others may add to) leads it anywhere else, and takes out only what names this install.
unregister=$build/app/quillfen_unregister
if [[ ! -x $unregister ]]; then
    echo "$unregister is missing: nothing was removed. Build it and run this again:" >&2
    echo "    cmake --build $build --target quillfen_unregister" >&2
    exit 1
fi
unregister=$(realpath -e -- "$unregister")
# Root runs that program on what the build folder lists: whoever else could change any of it would
# choose what root runs and removes.
if [[ ${#owner[@]} -gt 0 || $EUID -eq 0 ]]; then
    source scripts/handoff.sh
    for place in "$build" "$build/CMakeCache.txt" "$manifest" "$build/install_folders.txt" "$unregister"; do
        handoff_judge "$place" || handoff_refuse
    done
fi
# The keep-alive service goes first, so that nothing starts the application again while it goes.
"$unregister" "$prefix" || true
for exe in /proc/[0-9]*/exe; do
    if [[ $exe -ef $installedBuild/bin/quillfen ]]; then
        kill -TERM "${exe//[^0-9]/}" 2>/dev/null || true
    fi
done
# As root it removes only through folders that root alone may write, and the installed build only
# when it holds an installed build's information: another member of a group that may write the
# prefix (Debian's staff in /usr/local) could rename any folder there to the build's name. What it
# leaves so, it names; such a prefix's files are then for its owner to remove.
"${owner[@]}" "$unregister" --installed "$prefix" "$build" "$stage"

# XDG says a relative value is invalid and must be ignored.
xdg() { if [[ ${!1:-} == /* ]]; then echo "${!1}"; else echo "$2"; fi; }
echo "Uninstalled from $prefix. Left for you: your data in $(xdg XDG_DATA_HOME "$HOME/.local/share")/$app," \
    "the journals in ~/.ostrel and your settings in $(xdg XDG_CONFIG_HOME "$HOME/.config")/$app/Quillfen.conf."
