#!/usr/bin/env bash
# Removes a copy that scripts/install.sh installed (the files of its build folder's install
# manifest, the installed build as the updater may have left it, and the folders the install
# created), and what the application wrote for you: its keep-alive service and wrapper, its
# autostart entry (written to start a copy that stays, where one can take it) and its menu entry
# (each where it starts this copy; the menu folder's MIME cache is brought up to date), its line in
# mimeapps.list (where no entry of another copy answers it; the file too, when nothing else was in
# it), and with the last copy its cache folder with the builds the updater kept aside, and its
# status line and prompt hook in Claude Code's settings with the two scripts they run (your own
# status line back, where it replaced one). Your running copies of it are asked to quit (through
# sudo, those of the user who ran it); other users' go on until they quit, and it says how many
# and whose. Your data, the journals and your settings stay, and it names those you have. DESTDIR
# is honoured as by the install.
#
#   scripts/uninstall.sh [PREFIX | BUILD_FOLDER]
#
# A prefix names the copy this checkout installed there, a build folder (one of this checkout's
# build/) the one it installed.
# Given neither, it removes the only copy this checkout installed; when there are several, it
# names them and stops.
set -euo pipefail
cd -P "$(dirname "${BASH_SOURCE[0]}")/.."

prefixOf() { sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$1/CMakeCache.txt"; }
source scripts/handoff.sh

# A clean clone installed nothing: it takes the copy over by installing it again, in place. The
# prefix is named as the person typed it, never as a file others may have written says it.
into="the prefix you installed it into"
if [[ $# -gt 0 && $(realpath -m -s -- "$1") != "$PWD"/build/?* ]]; then
    _handoff_shown "$1"
    into=$_handoff_said
fi
wayOn="In the new clone, install it again into $into, then uninstall it from there."
# Root runs the uninstall program built from this checkout, on what its build folder lists, and
# these scripts: whoever else could change any of it would choose what root runs and removes. So
# as root the whole checkout is judged before any of it is read or shown.
((EUID != 0)) || handoff_judge_checkout "$wayOn"

# A build folder is one of this checkout's: anywhere else, a folder that looks like one is only a
# prefix's name, and whoever made it there would choose the program the uninstall runs.
named=
[[ $# -eq 0 ]] || named=$(realpath -e -- "$1" 2>/dev/null) || true
if [[ $named == "$PWD"/build/?* && -f $named/CMakeCache.txt ]]; then
    build=$named
else
    wanted=
    [[ $# -eq 0 ]] || wanted=$(realpath -m -s -- "$1")
    installed=()
    for folder in build/install build/install-*; do
        [[ -s $folder/install_manifest.txt && -f $folder/CMakeCache.txt ]] || continue
        [[ -z $wanted || $(prefixOf "$folder") == "$wanted" ]] && installed+=("$folder")
    done
    if ((${#installed[@]} == 0)); then
        _handoff_shown "$wanted"
        echo "Nothing to uninstall: this checkout has installed no copy${wanted:+ in $_handoff_said} that is still" \
            "there (a build folder build/install* whose install_manifest.txt lists its files)." >&2
        exit 1
    fi
    if ((${#installed[@]} > 1)); then
        echo "This checkout installed more than one copy. Name the one to remove:" >&2
        for folder in "${installed[@]}"; do
            _handoff_shown "$(prefixOf "$folder")"
            echo "    scripts/uninstall.sh $_handoff_said" >&2
        done
        exit 1
    fi
    build=${installed[0]}
fi
manifest=$build/install_manifest.txt
if [[ ! -f $manifest ]]; then
    _handoff_shown "$manifest"
    echo "Nothing to uninstall: $_handoff_said is missing." >&2
    exit 1
fi
# Named by where it is, so that no link swapped after it was judged leads root elsewhere.
build=$(cd -P -- "$build" && pwd -P)
manifest=$build/install_manifest.txt
prefix=$(prefixOf "$build")
stage=${DESTDIR:-}

# A prefix that is not the user's own (/usr/local, say) is changed through sudo.
existing=$stage$prefix
while [[ ! -e $existing ]]; do existing=$(dirname "$existing"); done
owner=()
if [[ ! -w $existing ]]; then
    if ! command -v sudo >/dev/null; then
        _handoff_shown "$stage$prefix"
        echo "You cannot change $_handoff_said, and there is no sudo here to remove its files as root." >&2
        echo "Run this again as root, or install sudo and run it again." >&2
        exit 1
    fi
    owner=(sudo)
    # Root is to act: the checkout is judged before anything more of it is shown.
    ((EUID == 0)) || handoff_judge_checkout "$wayOn"
    # sudo is asked once, before anything goes: a user who may not use it keeps the copy whole,
    # its keep-alive too, and hears so at once.
    if ! sudo -v; then
        _handoff_shown "$stage$prefix"
        echo "sudo did not let you remove the copy in $_handoff_said, and nothing was removed." >&2
        echo "Ask whoever looks after this machine to remove it." >&2
        exit 1
    fi
fi

# Nothing is removed here by its path: the application's own code finds each place one name at a
# time and removes through the folder it found, so that nobody's link on the way (in a home or a
# prefix others may add to) leads it anywhere else, and takes out only what names this install.
unregister=$build/app/quillfen_unregister
if [[ ! -x $unregister ]]; then
    _handoff_shown "$unregister"
    echo "$_handoff_said is missing: nothing was removed. Build it and run this again:" >&2
    _handoff_shown "$build"
    echo "    cmake --build $_handoff_said --target quillfen_unregister" >&2
    exit 1
fi
unregister=$(realpath -e -- "$unregister")
# What the copy wrote for the user who ran sudo is theirs to take out, as them.
asCaller=("${handoff_as_caller[@]}")
# The keep-alive service goes first, so that nothing starts the application again while it goes.
"${asCaller[@]}" "$unregister" --keep-alive "$prefix" || true
# Then the running copies end and the installed files go. As root it acts only through folders
# that root alone may write, and on the installed build only when it holds an installed build's
# information: another member of a group that may write the prefix (Debian's staff in /usr/local)
# could rename any folder there to the build's name, or link the program's name to any other. What
# it leaves so, it names; such a prefix's files are then for its owner to remove.
"${owner[@]}" "$unregister" --installed "$prefix" "$build" "$stage"
# Last, what the copy wrote for the user: its own entries, and what every copy shares once no
# other stays (the single-instance lock of a copy that runs is never taken from under it).
"${asCaller[@]}" "$unregister" "$prefix" || true

_handoff_shown "$prefix"
echo "Uninstalled from $_handoff_said."
