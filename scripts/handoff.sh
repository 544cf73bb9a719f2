# shellcheck shell=bash
# Sourced by install.sh and uninstall.sh before root acts on a build folder: whether someone other
# than the user and root could change what root would read or run there. It is judged here, not
# by the build folder's own program: whoever may write that folder could replace the judge too.
# Nobody could when every folder from / is root's or the user's, one that others may write is
# sticky with the next step root's or the user's, a link on the way leads where the same holds,
# and the place itself is root's or the user's and nobody else may write it. Others are other
# users, any group but the user's own, and whoever an access list names.

# The user root acts for: under sudo, the one who ran it.
if [[ $EUID -eq 0 && ${SUDO_UID:-} =~ ^[1-9][0-9]*$ ]]; then handoff_uid=$SUDO_UID; else handoff_uid=$EUID; fi
handoff_why=

# The user's own group, or nothing: their primary group, named as they are, listing nobody else
# and no other local account's primary group (Debian's private groups, with umask 002). The
# databases are asked by number, never listed; the local account file is read as it stands.
_handoff_own_group() {
    local name gid group members
    IFS=: read -r name _ _ gid _ < <(getent passwd "$handoff_uid") || return 0
    IFS=: read -r group _ _ members < <(getent group "$gid") || return 0
    [[ -n $name && $group == "$name" && ${members:-$name} == "$name" ]] || return 0
    [[ -f /etc/passwd && $(stat -c %s /etc/passwd) -le 16777216 ]] &&
        awk -F: -v gid="$gid" -v uid="$handoff_uid" '$4 == gid && $3 != uid { shared = 1 } END { exit shared }' \
            /etc/passwd && echo "$gid"
}
handoff_gid=$(_handoff_own_group)

# Looks at one entry without following it (its owner and whether it is sticky, in _handoff_owner
# and _handoff_sticky); true when someone other than the user and root may write it. What cannot
# be looked at counts as shared.
_handoff_shared() {
    local group mode
    _handoff_sticky=0
    read -r _handoff_owner group mode < <(stat -c '%u %g %a' -- "$1" 2>/dev/null) || return 0
    _handoff_sticky=$((8#$mode & 01000))
    [[ $_handoff_owner == 0 || $_handoff_owner == "$handoff_uid" ]] || return 0
    ((8#$mode & 0002)) && return 0
    ((8#$mode & 0020)) && [[ $group != "$handoff_gid" ]] && return 0
    [[ $(ls -ld -- "$1") == ??????????+* ]]
}

_handoff_ours() {
    [[ $_handoff_owner == 0 || $_handoff_owner == "$handoff_uid" ]]
}

# handoff_judge PATH: true when nobody but the user and root could change what the absolute PATH
# leads to; otherwise handoff_why says who could, and where. Links are followed as the kernel
# follows them, a step at a time.
handoff_judge() {
    local at=/ next step shared target links=0
    local -a steps parts
    IFS=/ read -r -d '' -a steps < <(printf '%s\0' "$1")
    while :; do
        shared=
        if _handoff_shared "$at"; then
            if ((${#steps[@]} == 0)) || ! _handoff_ours || ((!_handoff_sticky)); then
                handoff_why="others may change $at"
                return 1
            fi
            shared=1
        fi
        ((${#steps[@]})) || return 0
        step=${steps[0]}
        steps=("${steps[@]:1}")
        case $step in
            '' | .) continue ;;
            ..) at=$(dirname -- "$at") && continue ;;
        esac
        next=${at%/}/$step
        if [[ ! -e $next && ! -L $next ]]; then
            # Only whoever may write its folder can make what is not there yet.
            [[ -z $shared ]] && return 0
            handoff_why="$next is missing, in a folder others may write"
            return 1
        fi
        # In a sticky folder only a name's owner may rename or remove it.
        if [[ -n $shared ]] && { _handoff_shared "$next"; ! _handoff_ours; }; then
            handoff_why="$next is another user's, in a folder others may write"
            return 1
        fi
        if [[ -L $next ]]; then
            if [[ -n $shared && $(stat -c %h -- "$next") != 1 ]]; then
                handoff_why="$next is a link with another name, in a folder others may write"
                return 1
            fi
            if ((++links > 40)) || ! target=$(readlink -- "$next"); then
                handoff_why="$next does not lead anywhere"
                return 1
            fi
            [[ $target == /* ]] && at=/
            IFS=/ read -r -d '' -a parts < <(printf '%s\0' "$target")
            steps=("${parts[@]}" "${steps[@]}")
            continue
        fi
        if [[ ! -d $next ]] && ((${#steps[@]})); then
            handoff_why="$next is not a folder"
            return 1
        fi
        at=$next
    done
}

# handoff_judge_tree FOLDER: FOLDER by handoff_judge, and everything in it root's or the user's that
# nobody else may write, each link in it leading where handoff_judge holds (to a folder: the
# whole of it).
handoff_judge_tree() {
    local depth=${2:-0} found listing link
    local -a ownGroup=()
    [[ -z $handoff_gid ]] || ownGroup=('!' -gid "$handoff_gid")
    handoff_judge "$1" || return 1
    if ! found=$(find "$1" \( ! -uid "$handoff_uid" ! -uid 0 \) -print -quit -o ! -type l \
        \( -perm -0002 -o -perm -0020 "${ownGroup[@]}" \) -print -quit 2>/dev/null) ||
        ! listing=$(ls -lRA -- "$1" 2>/dev/null); then
        handoff_why="$1 could not be looked through"
        return 1
    fi
    if [[ -n $found ]]; then
        handoff_why="others may change $found"
        return 1
    fi
    if grep -Eq '^[-dlpcbs][-rwxsStT]{9}\+' <<<"$listing"; then
        handoff_why="an access list lets others change something in $1"
        return 1
    fi
    while IFS= read -r -d '' link; do
        [[ -e $link ]] || continue
        handoff_judge "$link" || return 1
        if [[ -d $link ]]; then
            if ((depth >= 8)); then
                handoff_why="$link leads through too many links to folders"
                return 1
            fi
            handoff_judge_tree "$(cd -P -- "$link" && pwd -P)" $((depth + 1)) || return 1
        fi
    done < <(find "$1" -type l -print0)
}

# Says why root is not asked to go on, and stops.
handoff_refuse() {
    echo "Stopped before root acted: $handoff_why, and root would act on whatever they put there." >&2
    echo "Keep the checkout and its build in folders that only you and root may change." >&2
    exit 1
}
