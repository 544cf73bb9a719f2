# shellcheck shell=bash
# Sourced by install.sh and uninstall.sh before root acts on a build folder: whether someone other
# than the user and root could change what root would read or run there. It is judged here, not
# by the build folder's own program: whoever may write that folder could replace the judge too.
# Nobody could when every folder from / is root's or the user's, one that others may write is
# sticky with the next step root's or the user's, a link on the way leads where the same holds,
# and the place itself is root's or the user's and nobody else may write it. Others are other
# users, any group but the user's own, and whoever an access list names. A refusal names every
# place that stands in the way at once, who could change it, and the commands that clear it all.

# The user root acts for: under sudo, the one who ran it.
if [[ $EUID -eq 0 && ${SUDO_UID:-} =~ ^[1-9][0-9]*$ ]]; then handoff_uid=$SUDO_UID; else handoff_uid=$EUID; fi

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

# What stands in the way, a place at a time: the place, who could change it, the kind of change
# that would stop them (o: others' write, g: a group's write, acl: an access list, rm: another
# user's entry to remove, or a sentence of advice for what no command of the person's clears),
# and the place's owner.
handoff_places=() _handoff_whos=() _handoff_kinds=() _handoff_owners=()

declare -A _handoff_noted=()
# Notes a place that stands in the way, once.
_handoff_problem() {
    [[ -z ${_handoff_noted[$1]:-} ]] || return 0
    _handoff_noted[$1]=1
    handoff_places+=("$1") _handoff_whos+=("$2") _handoff_kinds+=("$3") _handoff_owners+=("${4:-}")
}

# A text as one word for the shell, in single quotes, in _handoff_said.
_handoff_quote() {
    _handoff_said="'${1//\'/\'\\\'\'}'"
}

declare -A _handoff_names=()
# The name of the account (passwd) or the group (group) with number $2, or the number when it has
# none, in _handoff_said; each asked once.
_handoff_name_of() {
    local key=$1:$2 name
    if [[ -z ${_handoff_names[$key]+set} ]]; then
        IFS=: read -r name _ < <(getent "$1" "$2") || true
        _handoff_names[$key]=${name:-$2}
    fi
    _handoff_said=${_handoff_names[$key]}
}

# Who may change an entry of that kind (rm: another user's, o: every user, g: a group, acl: an
# access list), given its owner and group, in handoff_who.
_handoff_who() {
    case $1 in
        rm)
            _handoff_name_of passwd "$2"
            handoff_who="It is $_handoff_said's, and only they and root can change that."
            ;;
        o) handoff_who="Every user may write it." ;;
        g)
            _handoff_name_of passwd "$handoff_uid"
            local user=$_handoff_said
            _handoff_name_of group "$3"
            handoff_who="The group $_handoff_said may write it, and it is not a group of $user's alone."
            ;;
        acl) handoff_who="An access list lets others write it." ;;
    esac
}

_handoff_ours() {
    [[ $_handoff_owner == 0 || $_handoff_owner == "$handoff_uid" ]]
}

# Looks at one entry without following it (its owner and whether it is sticky, in _handoff_owner
# and _handoff_sticky); true when someone other than the user and root may write it, and then
# handoff_who says who and _handoff_kind what change would stop them. What cannot be looked at
# counts as shared.
_handoff_shared() {
    local group mode
    _handoff_sticky=0 _handoff_owner=
    if ! read -r _handoff_owner group mode < <(stat -c '%u %g %a' -- "$1" 2>/dev/null); then
        handoff_who="It could not be looked at, so anyone might have put it there."
        _handoff_kind="Make sure it is there and its folder may be read."
        return 0
    fi
    _handoff_sticky=$((8#$mode & 01000))
    if ! _handoff_ours; then
        _handoff_kind=rm
    elif ((8#$mode & 0002)); then
        _handoff_kind=o
    elif ((8#$mode & 0020)) && [[ $group != "$handoff_gid" ]]; then
        _handoff_kind=g
    elif [[ $(ls -ld -- "$1") == ??????????+* ]]; then
        _handoff_kind=acl
    else
        return 1
    fi
    _handoff_who "$_handoff_kind" "$_handoff_owner" "$group"
}

# handoff_judge PATH: true when nobody but the user and root could change what the absolute PATH
# leads to; otherwise each place on the way that stands in it is noted (handoff_places), as far
# as the way can be followed. Links are followed as the kernel follows them, a step at a time.
handoff_judge() {
    local at=/ next step shared target links=0 noted=${#handoff_places[@]}
    local -a steps parts
    local elsewhere="Move the checkout to a folder of yours that only you may write."
    IFS=/ read -r -d '' -a steps < <(printf '%s\0' "$1")
    while :; do
        shared=
        if _handoff_shared "$at"; then
            # Whatever the others may do there, the rest of the way is looked at too, so that one
            # refusal names every place.
            if ((${#steps[@]} == 0)) || ! _handoff_ours || ((!_handoff_sticky)); then
                # Another user's folder on the way is not the person's to remove.
                [[ $_handoff_kind != rm ]] ||
                    _handoff_kind="Keep the checkout in folders of yours or root's, or run this through sudo as the user whose checkout it is."
                _handoff_problem "$at" "$handoff_who" "$_handoff_kind" "$_handoff_owner"
            fi
            shared=1
        fi
        ((${#steps[@]})) || break
        step=${steps[0]}
        steps=("${steps[@]:1}")
        case $step in
            '' | .) continue ;;
            ..) at=$(dirname -- "$at") && continue ;;
        esac
        next=${at%/}/$step
        if [[ ! -e $next && ! -L $next ]]; then
            if [[ ! -x $at ]]; then
                _handoff_problem "$next" "It could not be looked at, so anyone might have put it there." \
                    "Make sure $at may be entered."
            elif [[ -n $shared ]]; then
                # Only whoever may write its folder can make what is not there yet.
                _handoff_problem "$next" "It is missing, and anyone who may write $at could make it first." "$elsewhere"
            fi
            break
        fi
        # In a sticky folder only a name's owner may rename or remove it.
        if [[ -n $shared ]] && { _handoff_shared "$next"; ! _handoff_ours; }; then
            _handoff_problem "$next" "$handoff_who It is in a folder others may write." "$elsewhere"
            break
        fi
        if [[ -L $next ]]; then
            if [[ -n $shared && $(stat -c %h -- "$next") != 1 ]]; then
                _handoff_problem "$next" "It is a link with another name, in a folder others may write: whoever gave it the other name may turn it elsewhere." \
                    "$elsewhere"
                break
            fi
            if ((++links > 40)) || ! target=$(readlink -- "$next"); then
                _handoff_problem "$next" "It is a link that does not lead anywhere anyone can tell." \
                    "Mend or remove the link."
                break
            fi
            [[ $target == /* ]] && at=/
            IFS=/ read -r -d '' -a parts < <(printf '%s\0' "$target")
            steps=("${parts[@]}" "${steps[@]}")
            continue
        fi
        if [[ ! -d $next ]] && ((${#steps[@]})); then
            _handoff_problem "$next" "It is not a folder, and stands where one should be." "Remove or rename it."
            break
        fi
        at=$next
    done
    ((${#handoff_places[@]} == noted))
}

# handoff_judge_tree FOLDER: FOLDER by handoff_judge, and everything in it root's or the user's that
# nobody else may write and that has no access list, each link in it (one that leads nowhere yet
# too) leading where handoff_judge holds (to a folder: the whole of it). Every place that stands
# in the way is noted.
handoff_judge_tree() {
    local depth=${2:-0} noted=${#handoff_places[@]} listing link kind owner group path place
    local -a ownGroup=()
    [[ -z $handoff_gid ]] || ownGroup=('!' -gid "$handoff_gid")
    handoff_judge "$1"
    # Another user's entry is named, not what is in it. The last record is how find ended.
    local ended=
    while IFS=$'\t' read -r -d '' kind owner group path; do
        if [[ $kind == ended ]]; then
            ended=$owner
            continue
        fi
        _handoff_who "$kind" "$owner" "$group"
        _handoff_problem "$path" "$handoff_who" "$kind" "$owner"
    done < <(
        find "$1" \( ! -uid "$handoff_uid" ! -uid 0 \) -printf 'rm\t%U\t%G\t%p\0' -prune -o ! -type l \
            \( -perm -0002 -printf 'o\t%U\t%G\t%p\0' -o -perm -0020 "${ownGroup[@]}" -printf 'g\t%U\t%G\t%p\0' \) 2>/dev/null
        printf 'ended\t%s\t\t\0' "$?"
    )
    if [[ $ended != 0 ]]; then
        _handoff_problem "$1" "Not all of it could be read, so anyone might have put something there." \
            "Make every folder in it readable."
        return 1
    fi
    # Each entry whose mode ends in "+", named from the heading of its folder's listing (mode,
    # links, owner, group, size and time before the name). sed, not awk: mawk takes an interval
    # such as {9} for the characters.
    if ! listing=$(LC_ALL=C ls -lRAqn --time-style=+%s -- "$1" 2>/dev/null); then
        _handoff_problem "$1" "Not all of it could be read, so anyone might have put something there." \
            "Make every folder in it readable."
        return 1
    fi
    _handoff_who acl
    while read -r owner place; do
        [[ -z $place ]] || _handoff_problem "$place" "$handoff_who" acl "$owner"
    done < <(sed -n -e '/^\/.*:$/h' -e '/^[-dlpcbs][-rwxsStT]\{9\}+/{' \
        -e 's/^[^ ]*  *[^ ]*  *\([^ ]*\)  *[^ ]*  *[^ ]*  *[^ ]* /\1 /' -e 's/ -> .*//' -e 'G' \
        -e 's/^\([^ ]*\) \(.*\)\n\(.*\):$/\1 \3\/\2/p' -e '}' <<<"$listing")
    while IFS= read -r -d '' link; do
        local before=${#handoff_places[@]}
        if ! handoff_judge "$link"; then
            # What the link leads to is not the checkout's to mend: the link goes.
            place=${handoff_places[before]} who=${_handoff_whos[before]}
            handoff_places=("${handoff_places[@]:0:before}") _handoff_whos=("${_handoff_whos[@]:0:before}")
            _handoff_kinds=("${_handoff_kinds[@]:0:before}") _handoff_owners=("${_handoff_owners[@]:0:before}")
            _handoff_problem "$link" "It leads by $place, where nobody can vouch for what is there: $who" rm-link \
                "$(stat -c %u -- "$link")"
            continue
        fi
        if [[ -d $link ]]; then
            if ((depth >= 8)); then
                _handoff_problem "$link" "It leads through too many links to folders for anyone to follow it all." \
                    "Replace one of those links with the folder it leads to."
                continue
            fi
            handoff_judge_tree "$(cd -P -- "$link" && pwd -P)" $((depth + 1))
        fi
    done < <(find "$1" -type l -print0)
    ((${#handoff_places[@]} == noted))
}

# Says every place where others could change what root would act on, who could, and what the
# person who runs this can do as themselves (sudo where the place is not theirs) to clear it all
# at once; and stops. Within TOP, the folder judged whole, several places that need one kind of
# change get one command over all of it.
handoff_refuse() {
    local top=${1:-} count=${#handoff_places[@]} i kind key sudo line list
    local -a commands=() removed=()
    local -A within=() withinSudo=() said=()
    list=${handoff_places[0]}
    for ((i = 1; i < count && i < 3; i++)); do list+=", ${handoff_places[i]}"; done
    ((count <= 3)) || list+=" and $((count - 3)) more"
    echo "Stopped before root acted: others may change $list, and root would act on whatever they put there." >&2
    for ((i = 0; i < count && i < 5; i++)); do echo "    ${handoff_places[i]}: ${_handoff_whos[i]}" >&2; done
    ((count <= 5)) || echo "    ... and $((count - 5)) more like these." >&2
    # The places within TOP that take one kind of change (w: a write bit, acl: an access list), and
    # then the one command for all of them where there are several.
    _handoff_within() {
        key=
        [[ -n $top && (${handoff_places[i]} == "$top" || ${handoff_places[i]} == "$top"/*) ]] || return 1
        case ${_handoff_kinds[i]} in o | g) key=w ;; acl) key=acl ;; *) return 1 ;; esac
    }
    for ((i = 0; i < count; i++)); do
        _handoff_within || continue
        within[$key]=$((${within[$key]:-0} + 1))
        [[ ${_handoff_owners[i]} == "$handoff_uid" || $handoff_uid == 0 ]] || withinSudo[$key]="sudo "
    done
    _handoff_quote "$top"
    ((${within[w]:-0} < 2)) || within[w]="${withinSudo[w]:-}chmod -R go-w $_handoff_said"
    ((${within[acl]:-0} < 2)) || within[acl]="${withinSudo[acl]:-}setfacl -R -b $_handoff_said"
    for ((i = 0; i < count; i++)); do
        kind=${_handoff_kinds[i]}
        sudo=
        [[ ${_handoff_owners[i]} == "$handoff_uid" || $handoff_uid == 0 ]] || sudo="sudo "
        _handoff_quote "${handoff_places[i]}"
        if _handoff_within && [[ ${within[$key]} != [0-9]* ]]; then
            line=${within[$key]}
        else
            case $kind in
                o) line="${sudo}chmod o-w $_handoff_said" ;;
                g) line="${sudo}chmod g-w $_handoff_said" ;;
                acl) line="${sudo}setfacl -b $_handoff_said" ;;
                rm-link) line="${sudo}rm -- $_handoff_said" ;;
                rm)
                    removed+=("$_handoff_said")
                    continue
                    ;;
                *) line="# $kind" ;;
            esac
        fi
        [[ -n ${said[$line]:-} ]] || commands+=("$line")
        said[$line]=1
    done
    if ((${#removed[@]})); then
        [[ $handoff_uid == 0 ]] && sudo= || sudo="sudo "
        commands+=("${sudo}rm -rf -- ${removed[*]}")
    fi
    [[ ${commands[*]} != *setfacl* ]] || command -v setfacl >/dev/null ||
        commands=("# setfacl is in Debian's acl package: sudo apt-get install acl" "${commands[@]}")
    echo "To clear that, run this as yourself, then run this again:" >&2
    for line in "${commands[@]}"; do echo "    $line" >&2; done
    exit 1
}
