#!/usr/bin/env bash
# Removes what scripts/install.sh installed (the files of the build folder's install manifest,
# the installed build as the updater may have left it, and the folders the install created),
# and what the installed application wrote for you: its keep-alive service and wrapper, its
# autostart entry, its menu entry, the builds the updater kept aside, its status line and prompt
# hook in Claude Code's settings with the two scripts they run, and its line in mimeapps.list.
# A running installed copy is asked to quit. Your data, the journals and your settings stay.
# DESTDIR is honoured as by the install.
#
#   scripts/uninstall.sh [BUILD_FOLDER]      (default build/install)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=${1:-build/install}
manifest=$build/install_manifest.txt
folders=$build/install_folders.txt
if [[ ! -f $manifest ]]; then
    echo "Nothing to uninstall: $manifest is missing." >&2
    exit 1
fi
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
app=org.quillfen.Quillfen
launcher=$prefix/bin/quillfen
stage=${DESTDIR:-}
installedBuild=$stage$prefix/lib/$app

# XDG says a relative value is invalid and must be ignored.
xdg() { if [[ ${!1:-} == /* ]]; then echo "${!1}"; else echo "$2"; fi; }
config=$(xdg XDG_CONFIG_HOME "$HOME/.config")
data=$(xdg XDG_DATA_HOME "$HOME/.local/share")
cache=$(xdg XDG_CACHE_HOME "$HOME/.cache")

# The launcher as the application writes it: in the keep-alive wrapper, quoted for the shell;
# in an Exec line, quoted for desktop entries.
wrapperLine="BIN='$(printf '%s' "$launcher" | sed "s/'/'\\\\''/g")'"
execValue=$(printf '%s' "$launcher" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g' -e 's/.*/"&"/' -e 's/\\/\\\\/g')
names() { [[ -f $1 ]] && grep -qxF "${@:2}" "$1"; }

wrapper=$data/$app/keepalive-wrapper.sh
if names "$wrapper" -e "$wrapperLine"; then
    # Stopped first, so that nothing starts the application again while it goes.
    systemctl --user disable --now "$app.service" >/dev/null 2>&1 || true
    rm -f -- "$config/systemd/user/$app.service" "$wrapper"
    systemctl --user daemon-reload >/dev/null 2>&1 || true
fi
for exe in /proc/[0-9]*/exe; do
    if [[ $(readlink "$exe" 2>/dev/null) == "$installedBuild"/* ]]; then
        kill -TERM "${exe//[^0-9]/}" 2>/dev/null || true
    fi
done
for entry in "$config/autostart/$app.desktop" "$data/applications/$app.desktop"; do
    if names "$entry" -e "Exec=$execValue" -e "Exec=$execValue %u"; then
        rm -f -- "$entry"
    fi
done
rm -rf -- "$cache/$app/updates"
# What the application put into other programs' settings is taken out by its own code, which
# knows exactly what it put there and leaves everything else.
unregister=$build/app/quillfen_unregister
if [[ -x $unregister ]]; then
    "$unregister" || true
else
    echo "$unregister is missing: Claude Code's settings and mimeapps.list may still name the application." >&2
fi

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
# CMake ends the manifest's last line without a line feed.
while IFS= read -r file || [[ -n $file ]]; do
    [[ -z $file ]] || "${owner[@]}" rm -f -- "$stage$file"
done <"$manifest"
# Whatever an update put there goes too.
"${owner[@]}" rm -rf -- "$installedBuild"
if [[ -f $folders ]]; then
    LC_ALL=C sort -r "$folders" | while IFS= read -r folder; do
        [[ -z $folder ]] || "${owner[@]}" rmdir -- "$stage$folder" 2>/dev/null || true
    done
fi
"${owner[@]}" rm -f -- "$manifest" "$folders"
echo "Uninstalled from $prefix. Left for you: your data in $data/$app, the journals in ~/.ostrel" \
    "and your settings in $config/$app/Quillfen.conf."
