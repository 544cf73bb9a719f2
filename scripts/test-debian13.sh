#!/usr/bin/env bash
# Runs the normal build's tests on Debian 13 as a new contributor would: in a Debian 13 tree made
# with debootstrap from the Debian archive this machine's apt uses, it installs both package lists
# with the project's own script, then builds the default preset and runs its tests as an ordinary
# account of the tree. scripts/test.sh runs it after the other builds.
#
#     scripts/test-debian13.sh
#
# It needs root (debootstrap, chroot, mounts) and a Debian machine of another release; elsewhere it
# says why it does nothing and ends well. The tree is kept in /var/cache/quillfen-tests (or
# QUILLFEN_DEBIAN13_TREE), so that a later run starts from it; what is mounted in it lives in a mount
# namespace of the run's own and goes with it.
set -euo pipefail
checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

release=trixie
tree=${QUILLFEN_DEBIAN13_TREE:-/var/cache/quillfen-tests/debian13}
account=contributor

. /etc/os-release
if [[ "${ID:-}" != debian ]]; then
    echo "== debian13: skipped: this machine is not Debian, whose archive the tree is made from"
    exit 0
fi
if [[ "${VERSION_CODENAME:-}" == "$release" ]]; then
    echo "== debian13: skipped: this machine is Debian 13, and its own builds ran here"
    exit 0
fi
if [[ $(id -u) -ne 0 ]]; then
    echo "== debian13: skipped: making a Debian 13 tree takes root (debootstrap, chroot); run as root to include it"
    exit 0
fi

# From here on in a mount namespace of the run's own: what is mounted in the tree goes with it.
if [[ "${1:-}" != --in-its-own-mounts ]]; then
    exec unshare --mount --propagation private -- "$checkout/scripts/test-debian13.sh" --in-its-own-mounts
fi

# The tree is root's, in a folder nobody else may write: what runs in it runs as root first.
parent=$(dirname "$tree")
mkdir -p -m 0755 "$parent"
if [[ -L "$parent" || $(stat -c %u "$parent") -ne 0 || -n $(find "$parent" -maxdepth 0 -perm /022) ]]; then
    echo "== debian13: $(printf %q "$parent") is not root's alone; choose another QUILLFEN_DEBIAN13_TREE" >&2
    exit 1
fi

made="$tree/.quillfen-tree-made"
if [[ ! -e "$made" ]]; then
    # A tree an interrupted run left half made is made again.
    rm -rf --one-file-system "$tree"
    archive=$(apt-get indextargets --format '$(SITE)' "Release: ${VERSION_CODENAME:-}" "Component: main" \
        "Target-Of: deb" | head -n 1)
    [[ -n "$archive" ]] || archive=http://deb.debian.org/debian
    echo "== debian13: making the tree from $archive"
    debootstrap --variant=minbase "$release" "$tree" "$archive" >"$parent/debootstrap.log" 2>&1 || {
        tail -n 20 "$parent/debootstrap.log" >&2
        exit 1
    }
    chroot "$tree" useradd --create-home --shell /bin/bash "$account"
    touch "$made"
fi
cp /etc/resolv.conf "$tree/etc/resolv.conf"
# The tree's own /proc, the machine's /dev and /sys, and a fresh /run, /tmp and /dev/shm.
mount -t proc proc "$tree/proc"
mount --rbind /sys "$tree/sys"
mount --rbind /dev "$tree/dev"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$tree/dev/shm"
mount -t tmpfs -o mode=0755,nosuid,nodev tmpfs "$tree/run"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$tree/tmp"
inside() {
    chroot "$tree" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 "$@"
}
as_account() {
    inside /usr/sbin/runuser -u "$account" -- /usr/bin/env HOME="/home/$account" USER="$account" \
        LOGNAME="$account" "$@"
}

# The checkout as it stands (what a commit would hold and what is not committed yet), without its
# builds; the tree's own build folder stays, so that a later run builds only what changed.
copy="/home/$account/quillfen"
as_account /bin/mkdir -p "$copy"
find "$tree$copy" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf --one-file-system {} +
tar -C "$checkout" --exclude=./build --exclude=./.git --exclude=./.cache -cf - . | as_account /bin/tar -x -C "$copy"

echo "== debian13: the packages, with the project's own script"
inside HOME=/root /bin/bash -c "cd $copy && scripts/install-deps.sh packages.txt test-packages.txt"
echo "== debian13: the default build and its tests, as an ordinary account"
as_account /bin/bash -c "cd $copy && scripts/test.sh default"
