#!/usr/bin/env bash
# Runs the normal build's tests as a new contributor would, as an ordinary account with the umask
# 002 that Debian gives a person's account: root's run of scripts/test.sh takes this way for its
# normal build, on this machine, and for Debian 13, in a Debian 13 tree made with debootstrap from
# the Debian archive this machine's apt uses, where it first installs both package lists with the
# project's own script. There it builds and tests the normal build, batches and all, as a Debian 13
# machine's scripts/test.sh does, and then compiles each of the application's files on its own (the
# files preset, without tests): a newer compiler's leaner headers show a file that misses an include
# of its own.
#
#     scripts/test-as-contributor.sh [debian13]
#
# It needs root, and for Debian 13 a Debian machine of another release; elsewhere it says why it
# does nothing and ends well. The account is a system account of this machine, made once and kept,
# named below; the tree's account has its uid and gid, which no other account or group holds on
# this machine or in the tree, as is checked before each run. Its copy of the checkout and its build
# folder are in its home (0700, in /var/lib), the tree in /var/cache/quillfen-tests (or
# QUILLFEN_DEBIAN13_TREE), so that a later run builds only what changed. The run is contained
# (scripts/test-containment.sh): what the account runs has no terminal and ends with the run, and
# what is mounted in the tree goes with it. QUILLFEN_TESTS_ACCOUNT names another account, for the
# tests of this script.
set -euo pipefail
checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$checkout/scripts/test-containment.sh"

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
stages=(default)
[[ -z $where ]] || stages=(default files)
tree=${QUILLFEN_DEBIAN13_TREE:-/var/cache/quillfen-tests/debian13}

if [[ $(id -u) -ne 0 ]]; then
    echo "== $stage: skipped: acting as another account takes root"
    exit 0
fi
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
fi

# Whether the account holds its uid and gid alone at the root given (this machine when empty): the
# uid is its own, and so is the group of its gid, listing nobody. Says what it found otherwise, and
# how to clear it.
numbers_its_alone() {
    local place=$1 user group members what where="this machine"
    IFS=: read -r user _ <<<"$(holder "$place" passwd "$uid")"
    IFS=: read -r group _ _ members <<<"$(holder "$place" group "$gid")"
    if [[ $user == "$account" && $group == "$account" && -z $members ]]; then
        return 0
    elif [[ -n $user && $user != "$account" ]]; then
        what="uid $uid is $(printf %q "$user")'s"
    elif [[ -n $group && $group != "$account" ]]; then
        what="gid $gid is the group $(printf %q "$group")'s"
    elif [[ -n $members ]]; then
        what="its group $account lists $(printf %q "$members")"
    else
        what="uid $uid and gid $gid are not both its own"
    fi
    local clear="remove the account (userdel --remove $account) and run again: the next run makes it with numbers nobody has"
    if [[ -n $place ]]; then
        where="the tree $(printf %q "$place")"
        clear="remove the tree (rm -rf --one-file-system $(printf %q "$place")) and run again: a tree made afresh has the account before any other"
    fi
    echo "== $stage: in $where, $what: the tests' account $account runs only with numbers nobody else has." >&2
    echo "   Nothing ran as it. To clear it, $clear." >&2
    exit 1
}

# A number that no account and no group has on this machine, nor in the tree when there is one,
# from the top of the system accounts' range down.
free_number() {
    local number
    for ((number = 999; number >= 100; number--)); do
        [[ -n $(holder "" passwd $number)$(holder "" group $number) ]] && continue
        [[ -f "$tree/.quillfen-tree-made" && -n $(holder "$tree" passwd $number)$(holder "$tree" group $number) ]] &&
            continue
        echo "$number"
        return
    done
    echo "== $stage: no number from 100 to 999 is free for the tests' system account" >&2
    exit 1
}

# The account on this machine: a system account, made once and kept, its home in /var/lib.
machine_account() {
    local lock number
    retire_older_account
    exec {lock}>/run/quillfen-tests.lock
    flock "$lock"
    ours ""
    if [[ -z $entry ]]; then
        number=$(free_number)
        groupadd --system --gid "$number" "$account"
        useradd --system --uid "$number" --gid "$number" --home-dir "/var/lib/$account" --create-home \
            -K HOME_MODE=0700 --comment "$made_by_us" --shell /bin/bash "$account"
        ours ""
    fi
    exec {lock}>&-
}

machine_account
uid=$its_uid gid=$its_gid home=$its_home
numbers_its_alone ""
contained "$checkout/scripts/test-as-contributor.sh" "$@"

root=""
if [[ $where == debian13 ]]; then
    root=$tree
    # The tree is root's, in a folder nobody else may write: what runs in it runs as root first.
    parent=$(dirname "$root")
    mkdir -p -m 0755 "$parent"
    if [[ -L "$parent" || $(stat -c %u "$parent") -ne 0 || -n $(find "$parent" -maxdepth 0 -perm /022) ]]; then
        echo "== debian13: $(printf %q "$parent") is not root's alone; name another QUILLFEN_DEBIAN13_TREE" >&2
        exit 1
    fi
    # Marked as ours before debootstrap starts, and as whole once it is done.
    marked="$root/.quillfen-tree" made="$root/.quillfen-tree-made"
    if [[ -e "$root" && ! -e "$marked" ]]; then
        echo "== debian13: $(printf %q "$root") is there and is no tree of these tests; name another QUILLFEN_DEBIAN13_TREE" >&2
        exit 1
    fi
    if [[ ! -e "$made" ]]; then
        # A tree an interrupted run left half made is made again.
        rm -rf --one-file-system "$root"
        mkdir -m 0755 "$root"
        touch "$marked"
        archive=$(apt-get indextargets --format '$(SITE)' "Release: ${VERSION_CODENAME:-}" "Component: main" \
            "Target-Of: deb" | head -n 1)
        [[ -n "$archive" ]] || archive=http://deb.debian.org/debian
        echo "== debian13: making the tree from $archive"
        debootstrap --variant=minbase "$release" "$root" "$archive" >"$parent/debootstrap.log" 2>&1 || {
            tail -n 20 "$parent/debootstrap.log" | visibly >&2
            exit 1
        }
        touch "$made"
    fi

    # The tree's account has the machine account's numbers. One that an older run made with others
    # is made again, and its home goes: its files may be a person's of this machine.
    ours "$root"
    if [[ -n $entry && ($its_uid != "$uid" || $its_gid != "$gid" || $its_home != "$home") ]]; then
        userdel --root "$root" "$account"
        [[ -z $(holder "$root" group "$account") ]] || groupdel --root "$root" "$account"
        [[ $(stat -c %F -- "$root$its_home" 2>/dev/null) != directory ]] || rm -rf --one-file-system -- "$root$its_home"
        entry=""
    fi
    if [[ -z $entry && -z $(holder "$root" passwd "$uid")$(holder "$root" group "$gid") ]]; then
        groupadd --root "$root" --system --gid "$gid" "$account"
        useradd --root "$root" --system --uid "$uid" --gid "$gid" --home-dir "$home" --create-home \
            -K HOME_MODE=0700 --comment "$made_by_us" --shell /bin/bash "$account"
    fi
    numbers_its_alone "$root"

    cp /etc/resolv.conf "$root/etc/resolv.conf"
    # The machine's /dev and /sys, and a fresh /run, /tmp and /dev/shm; each command run there
    # mounts a /proc of its own.
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
    mount -t tmpfs -o mode=0755,nosuid,nodev tmpfs "$root/run"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"
fi
# The copy and its build folder are the account's alone.
install -d -m 0700 -o "$uid" -g "$gid" -- "$root$home"

# The X servers' socket folder is root's, as a boot makes it (systemd-tmpfiles' x11.conf): one that
# the account's first X server made would be the account's, and stop root's later ones. mkdir
# follows no link, and in the sticky /tmp nobody but root may replace a folder of root's.
x11=$root/tmp/.X11-unix
mkdir -m 1777 -- "$x11" 2>/dev/null || true
if [[ $(stat -c %F:%u -- "$x11") != directory:0 ]]; then
    echo "== $stage: $(printf %q "$x11") is not a folder of root's, and the tests' X servers would use it." >&2
    echo "   Nothing ran. It was left as it is; once its owner has removed it, or after a restart, run again." >&2
    exit 1
fi

# As root, in the tree or on this machine, with nothing of this run's environment, in a PID
# namespace of its own with its own /proc; within what `around` names, where it names something.
# The namespace's first process is a shell that waits for the command and reaps what is left to it
# meanwhile (runuser would not, and a test would take the zombie for a process that still runs);
# when the command ends, so does the shell, and the kernel ends the rest.
around=()
system() {
    local run=()
    [[ -z $root ]] || run=(chroot "$root")
    unshare --pid --fork --kill-child --mount-proc="$root/proc" -- /bin/bash -c '"$@" <&0 & wait "$!"' first \
        "${around[@]}" "${run[@]}" /usr/bin/env -i --default-signal=INT,QUIT \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"
}
# As the account, with no descriptor of root's but standard input (a pipe, or /dev/null) and in a
# session of its own: no terminal of root's that a test could push input into (TIOCSTI) or write
# to. Whatever it leaves running ends with it, which closes its output; that is shown visibly.
as_account() {
    {
        for fd in "/proc/$BASHPID"/fd/*; do
            fd=${fd##*/}
            ((fd <= 2)) || exec {fd}>&-
        done
        system /usr/bin/setsid /usr/sbin/runuser -u "$account" -- /usr/bin/env HOME="$home" USER="$account" \
            LOGNAME="$account" "$@"
    } 2>&1 | visibly
}

if [[ $where == debian13 ]]; then
    # Root installs from a copy of its own, made afresh: the account may write its own.
    echo "== debian13: the packages, with the project's own script"
    system rm -rf /root/quillfen-scripts
    tar -C "$checkout" -cf - scripts | system /bin/sh -c 'mkdir -m 0700 /root/quillfen-scripts && tar -x -C /root/quillfen-scripts'
    # A run that ended while apt worked in the tree left dpkg's work half done: it is done first.
    system /usr/bin/env DEBIAN_FRONTEND=noninteractive /usr/bin/dpkg --configure -a
    system /root/quillfen-scripts/scripts/install-deps.sh packages.txt test-packages.txt
fi

# The checkout as it stands (what a commit would hold and what is not committed yet), without its
# builds, copied by the account itself into its home: root writes nothing there. Its folders and
# files are its group's to write too, as a clone made under umask 002 has them. The copy's build
# folder stays, and a file as the last copy had it keeps that copy's time, so that a later run
# builds only what changed, whatever the times in the checkout say.
tar -C "$checkout" --exclude=./build --exclude=./.git --exclude=./.cache --mode=g+w -cf - . | as_account /bin/bash -c '
    set -euo pipefail
    umask 002
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
# A runtime folder of its own, as a contributor's session has, emptied at each run: without one the
# tests' folders would go in the build folder, whose path leaves sway's socket no room (108 bytes).
# Their temporary folders are below a folder of the account's group (0775, made under its umask), as
# they are in a person's build folder: no test may take what the folders above its own allow.
as_account /bin/bash -c 'umask 002 && rm -rf "$HOME/run" "$HOME/tmp" && mkdir -m 0700 "$HOME/run" &&
    mkdir "$HOME/tmp" && cd "$HOME/quillfen" &&
    XDG_RUNTIME_DIR=$HOME/run TMPDIR=$HOME/tmp exec scripts/test.sh "$@"' build "${stages[@]}" </dev/null
