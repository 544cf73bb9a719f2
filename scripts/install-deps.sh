#!/usr/bin/env bash
# Installs the Debian packages of the lists named (files in scripts/, by default packages.txt,
# what building and running need) that are not installed yet.
#
#     scripts/install-deps.sh [LIST...]      e.g. packages.txt test-packages.txt
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

lists=("$@")
((${#lists[@]} > 0)) || lists=(packages.txt)
missing=()
for list in "${lists[@]}"; do
    while read -r pkg; do
        [[ -z "$pkg" || "$pkg" == \#* ]] && continue
        status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
    done < "$here/$list"
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Installing them takes root, and there is no sudo here. Install them as root" >&2
    echo "(apt-get install ${missing[*]}), or install sudo, then run this again." >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
