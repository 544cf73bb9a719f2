#!/usr/bin/env bash
# Runs the normal build's tests as a new contributor would, as an ordinary account: root's run of
# scripts/test.sh takes this way for its normal build, on this machine, and for Debian 13, in a
# Debian 13 tree made with debootstrap from the Debian archive this machine's apt uses, where it
# first installs both package lists with the project's own script. There the build compiles each of
# the application's files on its own (the files preset): a newer compiler's leaner headers show a
# file that misses an include of its own.
#
#     scripts/test-as-contributor.sh [debian13]
#
# It needs root, and for Debian 13 a Debian machine of another release; elsewhere it says why it
# does nothing and ends well. The account is made once and kept, named below; its copy of the
# checkout and its build folder are in its home, the tree in /var/cache/quillfen-tests (or
# QUILLFEN_DEBIAN13_TREE), so that a later run builds only what changed. What is mounted in the tree
# lives in a mount namespace of the run's own and goes with it.
set -euo pipefail
checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

account=quillfen-tests
made_by_us="Quillfen's tests"
release=trixie
where=${1:-}
case $where in
"" | debian13) ;;
*)
    echo "Run it with no argument, or with debian13" >&2
    exit 2
    ;;
esac
stage=${where:-default}
preset=default
[[ -z $where ]] || preset=files

if [[ $(id -u) -ne 0 ]]; then
    echo "== $stage: skipped: acting as another account takes root"
    exit 0
fi
root=""
if [[ $where == debian13 ]]; then
    . /etc/os-release
    if [[ "${ID:-}" != debian ]]; then
        echo "== debian13: skipped: this machine is not Debian, whose archive the tree is made from"
        exit 0
    fi
    if [[ "${VERSION_CODENAME:-}" == "$release" ]]; then
        echo "== debian13: skipped: this machine is Debian 13, and its own builds ran here"
        exit 0
    fi
    root=${QUILLFEN_DEBIAN13_TREE:-/var/cache/quillfen-tests/debian13}
    if [[ "${2:-}" != --in-its-own-mounts ]]; then
        exec unshare --mount --propagation private -- "$checkout/scripts/test-as-contributor.sh" debian13 \
            --in-its-own-mounts
    fi

    # The tree is root's, in a folder nobody else may write: what runs in it runs as root first.
    parent=$(dirname "$root")
    mkdir -p -m 0755 "$parent"
    if [[ -L "$parent" || $(stat -c %u "$parent") -ne 0 || -n $(find "$parent" -maxdepth 0 -perm /022) ]]; then
        echo "== debian13: $(printf %q "$parent") is not root's alone; name another QUILLFEN_DEBIAN13_TREE" >&2
        exit 1
    fi
    # Marked as ours before debootstrap starts, and as whole once it is done.
    ours="$root/.quillfen-tree" made="$root/.quillfen-tree-made"
    if [[ -e "$root" && ! -e "$ours" ]]; then
        echo "== debian13: $(printf %q "$root") is there and is no tree of these tests; name another QUILLFEN_DEBIAN13_TREE" >&2
        exit 1
    fi
    if [[ ! -e "$made" ]]; then
        # A tree an interrupted run left half made is made again.
        rm -rf --one-file-system "$root"
        mkdir -m 0755 "$root"
        touch "$ours"
        archive=$(apt-get indextargets --format '$(SITE)' "Release: ${VERSION_CODENAME:-}" "Component: main" \
            "Target-Of: deb" | head -n 1)
        [[ -n "$archive" ]] || archive=http://deb.debian.org/debian
        echo "== debian13: making the tree from $archive"
        debootstrap --variant=minbase "$release" "$root" "$archive" >"$parent/debootstrap.log" 2>&1 || {
            tail -n 20 "$parent/debootstrap.log" >&2
            exit 1
        }
        touch "$made"
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # The tree's own /proc, the machine's /dev and /sys, and a fresh /run, /tmp and /dev/shm.
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
    mount -t tmpfs -o mode=0755,nosuid,nodev tmpfs "$root/run"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"
fi
# The X servers' socket folder is root's, as a boot makes it (systemd-tmpfiles' x11.conf): one that
# the account's first X server made would be the account's, and stop root's later ones.
[[ -e "$root/tmp/.X11-unix" ]] || install -d -m 1777 -o root -g root "$root/tmp/.X11-unix"

# As root, in the tree or on this machine, with nothing of this run's environment; within what
# `around` names, where it names something.
around=()
system() {
    local run=()
    [[ -z $root ]] || run=(chroot "$root")
    "${around[@]}" "${run[@]}" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 "$@"
}
as_account() {
    system /usr/sbin/runuser -u "$account" -- /usr/bin/env HOME="$home" USER="$account" LOGNAME="$account" "$@"
}

if ! entry=$(system getent passwd "$account"); then
    system useradd --create-home --comment "$made_by_us" --shell /bin/bash "$account"
    entry=$(system getent passwd "$account")
fi
IFS=: read -r _ _ uid _ comment home _ <<<"$entry"
if [[ "$comment" != "$made_by_us" || "$uid" -eq 0 ]]; then
    echo "== $stage: an account named $account is there that these tests did not make; nothing ran as it" >&2
    exit 1
fi

if [[ $where == debian13 ]]; then
    # Root installs from a copy of its own, made afresh: the account may write its own.
    echo "== debian13: the packages, with the project's own script"
    system rm -rf /root/quillfen-scripts
    tar -C "$checkout" -cf - scripts | system /bin/sh -c 'mkdir -m 0700 /root/quillfen-scripts && tar -x -C /root/quillfen-scripts'
    system /root/quillfen-scripts/scripts/install-deps.sh packages.txt test-packages.txt
fi

# The checkout as it stands (what a commit would hold and what is not committed yet), without its
# builds, copied by the account itself into its home: root writes nothing there. The copy's build
# folder stays, and a file as the last copy had it keeps that copy's time, so that a later run
# builds only what changed, whatever the times in the checkout say.
tar -C "$checkout" --exclude=./build --exclude=./.git --exclude=./.cache -cf - . | as_account /bin/bash -c '
    set -euo pipefail
    cd "$HOME"
    rm -rf quillfen.new
    mkdir quillfen.new
    tar -x -m -C quillfen.new
    if [[ -d quillfen ]]; then
        (cd quillfen.new && find . -type f -print0 | while IFS= read -r -d "" file; do
            ! cmp -s "$file" "../quillfen/$file" || touch -r "../quillfen/$file" "$file"
        done)
        [[ ! -d quillfen/build ]] || mv quillfen/build quillfen.new/build
        rm -rf quillfen
    fi
    mv quillfen.new quillfen'

echo "== $stage: the normal build and its tests, as the ordinary account $account"
if [[ $where == debian13 ]]; then
    # A network of the tree's own, with nothing but its loopback: the tests reach nothing outside,
    # and their X servers' names (abstract sockets, one namespace a network) are not this machine's.
    around=(unshare --net -- /bin/bash -c '/usr/sbin/ip link set lo up && exec "$@"' network)
fi
as_account /bin/bash -c 'cd "$HOME/quillfen" && exec scripts/test.sh "$1"' build "$preset"
