# shellcheck shell=bash
# Sourced by install.sh and uninstall.sh before root acts on a build folder: whether someone other
# than the user and root could change what root would read or run there. It is judged here, not
# by the build folder's own program: whoever may write that folder could replace the judge too.
# Nobody could when every folder from / is root's or the user's, one that others may write is
# sticky with the next step root's or the user's, a link on the way leads where the same holds,
# and the place itself is root's or the user's and nobody else may write it. Others are other
# users, any group but the user's own, and whoever an access list names. A refusal says where,
# who could change it (handoff_who) and what would clear it (handoff_clear).

# The user root acts for: under sudo, the one who ran it.
if [[ $EUID -eq 0 && ${SUDO_UID:-} =~ ^[1-9][0-9]*$ ]]; then handoff_uid=$SUDO_UID; else handoff_uid=$EUID; fi
handoff_why='' handoff_who='' handoff_clear=''

# What root need not do itself (configure, build, the user's own entries) runs as the user root acts
# for, with their groups and home (handoff_home), so that nothing of root's is left in their
# checkout or home.
handoff_as_caller=() handoff_home=$HOME
# shellcheck disable=SC2034 # for the scripts that source this
if [[ $handoff_uid != "$EUID" ]]; then
    IFS=: read -r _handoff_name _ _ _handoff_group _ handoff_home _ < <(getent passwd "$handoff_uid") || true
    if [[ -z ${_handoff_name:-} ]]; then
        echo "Stopped before root acted: user $handoff_uid, who ran sudo, has no account (getent passwd finds none)" \
            "for root to leave the build to. Run it through sudo from an account of your own." >&2
        exit 1
    fi
    handoff_as_caller=(setpriv --reuid="$handoff_uid" --regid="$_handoff_group" --init-groups
        env HOME="$handoff_home" USER="$_handoff_name" LOGNAME="$_handoff_name")
fi

# The user's own group, or nothing: their primary group, named as they are, listing nobody else
# and no other local account's primary group (Debian's private groups, with umask 002). The
# databases are asked by number, never listed; the local account file is read as it stands.
_handoff_local_accounts=/etc/passwd
_handoff_own_group() {
    local name gid group members member
    IFS=: read -r name _ _ gid _ < <(getent passwd "$handoff_uid") || return 0
    IFS=: read -r group _ _ members < <(getent group "$gid") || return 0
    [[ -n $name && $group == "$name" ]] || return 0
    IFS=, read -r -a members <<<"$members"
    for member in "${members[@]}"; do [[ $member == "$name" ]] || return 0; done
    [[ -f $_handoff_local_accounts && $(stat -c %s -- "$_handoff_local_accounts") -le 16777216 ]] &&
        awk -F: -v gid="$gid" -v uid="$handoff_uid" '$4 == gid && $3 != uid { shared = 1 } END { exit shared }' \
            "$_handoff_local_accounts" && echo "$gid"
}
handoff_gid=$(_handoff_own_group)

# The account's name, or its number when it has none.
_handoff_account() {
    local name
    IFS=: read -r name _ < <(getent passwd "$1") || true
    echo "${name:-$1}"
}

# Looks at one entry without following it (its owner and whether it is sticky, in _handoff_owner
# and _handoff_sticky); true when someone other than the user and root may write it, and then
# handoff_who and handoff_clear say who and what would stop them. What cannot be looked at counts
# as shared.
_handoff_shared() {
    local group mode chmod=chmod
    _handoff_sticky=0 _handoff_owner=
    if ! read -r _handoff_owner group mode < <(stat -c '%u %g %a' -- "$1" 2>/dev/null); then
        handoff_who="It could not be looked at, so anyone might have put it there."
        handoff_clear="Make sure it is there and its folder may be read, then run this again."
        return 0
    fi
    _handoff_sticky=$((8#$mode & 01000))
    if ! _handoff_ours; then
        handoff_who="It is $(_handoff_account "$_handoff_owner")'s, and only they and root can change that."
        if [[ $1 == "$PWD"/* ]]; then
            handoff_clear="Remove it, then run this again."
        else
            handoff_clear="Keep the checkout in folders of yours or root's, or run this through sudo as the user whose checkout it is."
        fi
        return 0
    fi
    [[ $_handoff_owner == 0 && $EUID -ne 0 ]] && chmod="sudo chmod"
    if ((8#$mode & 0002)); then
        handoff_who="Every user may write it."
        handoff_clear="$chmod o-w '$1' clears that; then run this again."
        return 0
    fi
    if ((8#$mode & 0020)) && [[ $group != "$handoff_gid" ]]; then
        local name
        IFS=: read -r name _ < <(getent group "$group") || true
        handoff_who="The group ${name:-$group} may write it, and it is not a group of $(_handoff_account "$handoff_uid")'s alone."
        handoff_clear="$chmod g-w '$1' clears that; then run this again."
        return 0
    fi
    [[ $(ls -ld -- "$1") == ??????????+* ]] || return 1
    handoff_who="An access list lets others write it."
    handoff_clear="setfacl -b '$1' clears that; then run this again."
}

_handoff_ours() {
    [[ $_handoff_owner == 0 || $_handoff_owner == "$handoff_uid" ]]
}

# Sets the refusal: where, who could change it, what would clear it.
_handoff_refusal() {
    handoff_why=$1 handoff_who=$2 handoff_clear=$3
    return 1
}

# handoff_judge PATH: true when nobody but the user and root could change what the absolute PATH
# leads to; otherwise handoff_why says where, handoff_who who could, and handoff_clear what would
# stop them. Links are followed as the kernel follows them, a step at a time.
handoff_judge() {
    local at=/ next step shared target links=0
    local -a steps parts
    IFS=/ read -r -d '' -a steps < <(printf '%s\0' "$1")
    while :; do
        shared=
        if _handoff_shared "$at"; then
            if ((${#steps[@]} == 0)) || ! _handoff_ours || ((!_handoff_sticky)); then
                _handoff_refusal "others may change $at" "$handoff_who" "$handoff_clear"
                return
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
        local elsewhere="Move the checkout to a folder of yours that only you may write, then run this again."
        if [[ ! -e $next && ! -L $next ]]; then
            if [[ ! -x $at ]]; then
                _handoff_refusal "$next could not be looked at" "Anyone might have put it there." \
                    "Make sure $at may be entered, then run this again."
                return
            fi
            # Only whoever may write its folder can make what is not there yet.
            [[ -z $shared ]] && return 0
            _handoff_refusal "$next is missing, in a folder others may write" \
                "Anyone who may write $at could make it first." "$elsewhere"
            return
        fi
        # In a sticky folder only a name's owner may rename or remove it.
        if [[ -n $shared ]] && { _handoff_shared "$next"; ! _handoff_ours; }; then
            _handoff_refusal "$next is another user's, in a folder others may write" "$handoff_who" "$elsewhere"
            return
        fi
        if [[ -L $next ]]; then
            if [[ -n $shared && $(stat -c %h -- "$next") != 1 ]]; then
                _handoff_refusal "$next is a link with another name, in a folder others may write" \
                    "Whoever gave it the other name may turn it elsewhere." "$elsewhere"
                return
            fi
            if ((++links > 40)) || ! target=$(readlink -- "$next"); then
                _handoff_refusal "$next does not lead anywhere" "Nobody can tell where it leads." \
                    "Mend or remove the link, then run this again."
                return
            fi
            [[ $target == /* ]] && at=/
            IFS=/ read -r -d '' -a parts < <(printf '%s\0' "$target")
            steps=("${parts[@]}" "${steps[@]}")
            continue
        fi
        if [[ ! -d $next ]] && ((${#steps[@]})); then
            _handoff_refusal "$next is not a folder" "It stands where a folder should be." \
                "Remove or rename it, then run this again."
            return
        fi
        at=$next
    done
}

# handoff_judge_tree FOLDER: FOLDER by handoff_judge, and everything in it root's or the user's that
# nobody else may write and that has no access list, each link in it (one that leads nowhere yet
# too) leading where handoff_judge holds (to a folder: the whole of it).
handoff_judge_tree() {
    local depth=${2:-0} found listing link
    local -a ownGroup=()
    [[ -z $handoff_gid ]] || ownGroup=('!' -gid "$handoff_gid")
    handoff_judge "$1" || return 1
    if ! found=$(find "$1" \( ! -uid "$handoff_uid" ! -uid 0 \) -print -quit -o ! -type l \
        \( -perm -0002 -o -perm -0020 "${ownGroup[@]}" \) -print -quit 2>/dev/null) ||
        ! listing=$(LC_ALL=C ls -lRAqn --time-style=+%s -- "$1" 2>/dev/null); then
        _handoff_refusal "$1 could not be looked through" "Not all of it could be read, so anyone might have put something there." \
            "Make every folder in it readable, then run this again."
        return
    fi
    if [[ -z $found ]]; then
        # The first entry whose mode ends in "+", named from the heading of its folder's listing
        # (mode, links, owner, group, size and time before the name). sed, not awk: mawk takes an
        # interval such as {9} for the characters.
        found=$(sed -n -e '/^\/.*:$/h' -e '/^[-dlpcbs][-rwxsStT]\{9\}+/{' -e 's/^\([^ ]*  *\)\{6\}//' \
            -e 's/ -> .*//' -e 'G' -e 's/^\(.*\)\n\(.*\):$/\2\/\1/p' -e 'q' -e '}' <<<"$listing")
    fi
    if [[ -n $found ]]; then
        _handoff_shared "$found"
        _handoff_refusal "others may change $found" "$handoff_who" "$handoff_clear"
        return
    fi
    while IFS= read -r -d '' link; do
        if ! handoff_judge "$link"; then
            handoff_why="$link leads where $handoff_why"
            handoff_clear="Remove the link, or turn it to a place of yours, then run this again."
            return 1
        fi
        if [[ -d $link ]]; then
            if ((depth >= 8)); then
                _handoff_refusal "$link leads through too many links to folders" "Nobody can follow it all." \
                    "Replace one of those links with the folder it leads to, then run this again."
                return
            fi
            handoff_judge_tree "$(cd -P -- "$link" && pwd -P)" $((depth + 1)) || return 1
        fi
    done < <(find "$1" -type l -print0)
}

# Says where others could change what root would act on, who, and what would clear it; and stops.
handoff_refuse() {
    echo "Stopped before root acted: $handoff_why, and root would act on whatever they put there." >&2
    echo "$handoff_who $handoff_clear" >&2
    exit 1
}
