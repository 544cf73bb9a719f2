#!/usr/bin/env bash
# Installs the Debian packages of the lists named (files in scripts/, by default packages.txt,
# what building and running need) that are not installed yet. Where the archive this machine uses
# has no package of a name, it installs the others, names those and stops, so that nothing is
# built without them.
#
#     scripts/install-deps.sh [LIST...]      e.g. packages.txt test-packages.txt
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

lists=("$@")
((${#lists[@]} > 0)) || lists=(packages.txt)
wanted=()
for list in "${lists[@]}"; do
    while read -r pkg; do
        [[ -z "$pkg" || "$pkg" == \#* ]] && continue
        wanted+=("$pkg")
    done < "$here/$list"
done
# One question for them all: each reads dpkg's whole database, a tenth of a second.
installed=" $({ dpkg-query -W -f='${Status} ${Package}\n' -- "${wanted[@]}" 2>/dev/null || true; } |
    sed -n 's/^install ok installed //p' | tr '\n' ' ') "
missing=()
for pkg in "${wanted[@]}"; do
    [[ $installed == *" $pkg "* ]] || missing+=("$pkg")
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

# One name the archive lacks would make apt-get install none of them.
found=() unknown=()
for pkg in "${missing[@]}"; do
    candidate=$(apt-cache policy -- "$pkg" 2>/dev/null | sed -n 's/^ *Candidate: *//p')
    if [[ -n "$candidate" && "$candidate" != "(none)" ]]; then
        found+=("$pkg")
    else
        unknown+=("$pkg")
    fi
done
if ((${#found[@]} > 0)); then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${found[@]}"
fi
if ((${#unknown[@]} > 0)); then
    echo "The Debian archive this machine uses has no package named: ${unknown[*]}" >&2
    echo "Nothing was built. Those lists are written for Debian 12 and 13; on another release, install" >&2
    echo "what it calls them, or add the missing archive to apt's sources, then run this again." >&2
    exit 1
fi
