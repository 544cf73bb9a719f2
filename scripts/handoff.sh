# shellcheck shell=bash
# Sourced by install.sh and uninstall.sh before root acts on a build folder: whether someone other
# than the user and root could change what root would read or run there. It is judged here, not
# by the build folder's own program: whoever may write that folder could replace the judge too.
# Nobody could when every folder from / is root's or the user's, one that others may write is
# sticky with the next step root's or the user's, a link on the way leads where the same holds,
# and the place itself is root's or the user's and nobody else may write it. Others are other
# users, any group but the user's own, and whoever an access list names. A refusal names every
# place that stands in the way at once and who could change it, and sends the person to a clean
# clone: no change of modes undoes what others already wrote or a file they still hold open. So the
# refusal is remembered, and the checkout refused again whatever its modes are by then.

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

# What stands in the way, a place at a time: the place, and who could change it.
handoff_places=() _handoff_whos=()

declare -A _handoff_noted=()
# Notes a place that stands in the way, once.
_handoff_problem() {
    [[ -z ${_handoff_noted[$1]:-} ]] || return 0
    _handoff_noted[$1]=1
    handoff_places+=("$1") _handoff_whos+=("$2")
}

# A name someone else may have chosen as it can be shown on a terminal, in _handoff_said: every
# control character (C0, DEL, C1), every character that reorders or hides text (U+061C,
# U+200B-U+200F, U+2028-U+202E, U+2060-U+2069, U+FEFF) and every byte that is not UTF-8 written
# as an escape ("\n", "\x1b", "\u202e"), as the programs show names, so that no name can end,
# rewrite or reorder the line it is shown in; letters of any script stay as they are. Read a byte
# at a time, with bash alone, so that neither the locale nor the awk at hand changes a thing.
_handoff_shown() {
    local LC_ALL=C
    local text=$1 shown='' at=0 size=${#1} byte next length code least i
    if [[ $text != *[![:print:]]* ]]; then
        _handoff_said=$text
        return
    fi
    while ((at < size)); do
        printf -v byte %d "'${text:at:1}"
        ((byte >= 0)) || ((byte += 256))
        # How many bytes the first announces, and the least character so many may carry.
        if ((byte < 0x80)); then
            length=1 code=$byte least=0
        elif ((byte >= 0xc2 && byte <= 0xdf)); then
            length=2 code=$((byte & 0x1f)) least=0x80
        elif ((byte >= 0xe0 && byte <= 0xef)); then
            length=3 code=$((byte & 0x0f)) least=0x800
        elif ((byte >= 0xf0 && byte <= 0xf4)); then
            length=4 code=$((byte & 0x07)) least=0x10000
        else
            length=0
        fi
        for ((i = 1; i < length; i++)); do
            next=0
            ((at + i >= size)) || printf -v next %d "'${text:at+i:1}"
            if (((next & 0xc0) != 0x80)); then
                length=0
                break
            fi
            code=$((code << 6 | (next & 0x3f)))
        done
        # Cut short, spelt longer than it needs, a surrogate or past the last character: the first
        # byte is no character, and what follows it is read again on its own.
        if ((length == 0 || code < least || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)); then
            printf -v next '\\x%02x' "$byte"
            shown+=$next
            ((at += 1))
            continue
        fi
        if ((code < 0x20 || (code >= 0x7f && code <= 0x9f) || code == 0x61c || (code >= 0x200b && code <= 0x200f) ||
            (code >= 0x2028 && code <= 0x202e) || (code >= 0x2060 && code <= 0x2069) || code == 0xfeff)); then
            case $code in
                9) next='\t' ;;
                10) next='\n' ;;
                13) next='\r' ;;
                *) if ((code < 0x80)); then printf -v next '\\x%02x' "$code"; else printf -v next '\\u%04x' "$code"; fi ;;
            esac
            shown+=$next
        else
            shown+=${text:at:length}
        fi
        ((at += length))
    done
    _handoff_said=$shown
}

declare -A _handoff_names=()
# The name of the account (passwd) or the group (group) with number $2, or the number when it has
# none, in _handoff_said; each asked once.
_handoff_name_of() {
    local key=$1:$2 name
    if [[ -z ${_handoff_names[$key]+set} ]]; then
        IFS=: read -r name _ < <(getent "$1" "$2") || true
        _handoff_shown "${name:-$2}"
        _handoff_names[$key]=$_handoff_said
    fi
    _handoff_said=${_handoff_names[$key]}
}

# Who may change an entry of that kind (theirs: another user's, o: every user, g: a group, acl: an
# access list), given its owner and group, in handoff_who.
_handoff_who() {
    case $1 in
        theirs)
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
# handoff_who says who. What cannot be looked at counts as shared.
_handoff_shared() {
    local group mode kind
    _handoff_sticky=0 _handoff_owner=
    if ! read -r _handoff_owner group mode < <(stat -c '%u %g %a' -- "$1" 2>/dev/null); then
        handoff_who="It could not be looked at, so anyone might have put it there."
        return 0
    fi
    _handoff_sticky=$((8#$mode & 01000))
    if ! _handoff_ours; then
        kind=theirs
    elif ((8#$mode & 0002)); then
        kind=o
    elif ((8#$mode & 0020)) && [[ $group != "$handoff_gid" ]]; then
        kind=g
    elif [[ $(ls -ld -- "$1") == ??????????+* ]]; then
        kind=acl
    else
        return 1
    fi
    _handoff_who "$kind" "$_handoff_owner" "$group"
}

# handoff_judge PATH: true when nobody but the user and root could change what the absolute PATH
# leads to; otherwise each place on the way that stands in it is noted (handoff_places), as far
# as the way can be followed. Links are followed as the kernel follows them, a step at a time.
handoff_judge() {
    local at=/ next step shared target links=0 noted=${#handoff_places[@]}
    local -a steps parts
    IFS=/ read -r -d '' -a steps < <(printf '%s\0' "$1")
    while :; do
        shared=
        if _handoff_shared "$at"; then
            # Whatever the others may do there, the rest of the way is looked at too, so that one
            # refusal names every place.
            if ((${#steps[@]} == 0)) || ! _handoff_ours || ((!_handoff_sticky)); then
                _handoff_problem "$at" "$handoff_who"
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
                _handoff_problem "$next" "It could not be looked at, so anyone might have put it there."
            elif [[ -n $shared ]]; then
                # Only whoever may write its folder can make what is not there yet.
                _handoff_shown "$at"
                _handoff_problem "$next" "It is missing, and anyone who may write $_handoff_said could make it first."
            fi
            break
        fi
        # In a sticky folder only a name's owner may rename or remove it.
        if [[ -n $shared ]] && { _handoff_shared "$next"; ! _handoff_ours; }; then
            _handoff_problem "$next" "$handoff_who It is in a folder others may write."
            break
        fi
        if [[ -L $next ]]; then
            if [[ -n $shared && $(stat -c %h -- "$next") != 1 ]]; then
                _handoff_problem "$next" "It is a link with another name, in a folder others may write: whoever gave it the other name may turn it elsewhere."
                break
            fi
            if ((++links > 40)) || ! target=$(readlink -- "$next"); then
                _handoff_problem "$next" "It is a link that does not lead anywhere anyone can tell."
                break
            fi
            [[ $target == /* ]] && at=/
            IFS=/ read -r -d '' -a parts < <(printf '%s\0' "$target")
            steps=("${parts[@]}" "${steps[@]}")
            continue
        fi
        if [[ ! -d $next ]] && ((${#steps[@]})); then
            _handoff_problem "$next" "It is not a folder, and stands where one should be."
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
    local depth=${2:-0} noted=${#handoff_places[@]} listing link kind owner group path place who
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
        _handoff_problem "$path" "$handoff_who"
    done < <(
        find "$1" \( ! -uid "$handoff_uid" ! -uid 0 \) -printf 'theirs\t%U\t%G\t%p\0' -prune -o ! -type l \
            \( -perm -0002 -printf 'o\t%U\t%G\t%p\0' -o -perm -0020 "${ownGroup[@]}" -printf 'g\t%U\t%G\t%p\0' \) 2>/dev/null
        printf 'ended\t%s\t\t\0' "$?"
    )
    if [[ $ended != 0 ]]; then
        _handoff_problem "$1" "Not all of it could be read, so anyone might have put something there."
        return 1
    fi
    # Each entry whose mode ends in "+", named from the heading of its folder's listing (mode,
    # links, owner, group, size and time before the name). sed, not awk: mawk takes an interval
    # such as {9} for the characters.
    if ! listing=$(LC_ALL=C ls -lRAqn --time-style=+%s -- "$1" 2>/dev/null); then
        _handoff_problem "$1" "Not all of it could be read, so anyone might have put something there."
        return 1
    fi
    _handoff_who acl
    while read -r place; do
        [[ -z $place ]] || _handoff_problem "$place" "$handoff_who"
    done < <(sed -n -e '/^\/.*:$/h' -e '/^[-dlpcbs][-rwxsStT]\{9\}+/{' \
        -e 's/^[^ ]*  *[^ ]*  *[^ ]*  *[^ ]*  *[^ ]*  *[^ ]* //' -e 's/ -> .*//' -e 'G' \
        -e 's/^\(.*\)\n\(.*\):$/\2\/\1/p' -e '}' <<<"$listing")
    while IFS= read -r -d '' link; do
        local before=${#handoff_places[@]}
        if ! handoff_judge "$link"; then
            # The link is the checkout's place in the way, named with where it leads.
            _handoff_shown "${handoff_places[before]}"
            who=${_handoff_whos[before]}
            handoff_places=("${handoff_places[@]:0:before}") _handoff_whos=("${_handoff_whos[@]:0:before}")
            _handoff_problem "$link" "It leads by $_handoff_said, where nobody can vouch for what is there: $who"
            continue
        fi
        if [[ -d $link ]]; then
            if ((depth >= 8)); then
                _handoff_problem "$link" "It leads through too many links to folders for anyone to follow it all."
                continue
            fi
            handoff_judge_tree "$(cd -P -- "$link" && pwd -P)" $((depth + 1))
        fi
    done < <(find "$1" -type l -print0)
    ((${#handoff_places[@]} == noted))
}

# Whether a clone the user made now could be written by others: their umask lets everyone write,
# or lets their group write and that group is not theirs alone. Under sudo their umask is not
# known here (sudo adds its own), and a Debian user's is 002.
_handoff_clone_shared() {
    local mask=$((8#${handoff_caller_umask:-$(umask)}))
    if [[ $handoff_uid != "$EUID" ]]; then
        [[ -z $handoff_gid ]]
        return
    fi
    ((!(mask & 0002))) || { ((!(mask & 0020))) && [[ -z $handoff_gid ]]; }
}

# What root has run of the checkout beyond what it runs first (_handoff_in_what_root_runs): the
# whole checkout, where root built it itself. A script cannot judge itself before it runs, so a
# refusal that finds others could have changed what root ran says so, not that it stopped before.
handoff_ran=()

# Whether a place in the way holds or leads to what root runs first: the scripts, the checkout's top
# folder (whoever may write it could put other scripts there) or a folder on the way to it.
_handoff_in_what_root_runs() {
    local place
    for place in "${handoff_places[@]}"; do
        [[ $PWD == "$place" || $PWD == "${place%/}"/* || $place == "$PWD/scripts" || $place == "$PWD"/scripts/* ]] &&
            return 0
    done
    return 1
}

# Whether a place in the way holds code root has already run: as root, the script that sourced this
# file and this file itself, from scripts/, and what handoff_ran names.
_handoff_root_ran() {
    local place ran
    ((EUID == 0)) || return 1
    ! _handoff_in_what_root_runs || return 0
    for place in "${handoff_places[@]}"; do
        for ran in "${handoff_ran[@]}"; do
            [[ $place == "$ran" || $place == "$ran"/* ]] && return 0
        done
    done
    return 1
}

# The checkout as the refusals are remembered: its device, its inode and, where the file system keeps
# one, its birth time, so that a new clone given the inode of a removed checkout is still new.
_handoff_checkout() {
    stat -c '%d %i %.9W' -- "$PWD"
}

# Goes, in this shell, into the user's state folder of ours, ~/.local/state/org.quillfen.Quillfen,
# a name at a time from /, with "make" making the missing folders named on the way (0700). A link
# is followed only where it is the user's or root's, in a folder nobody else may write (where
# nobody else can swap it either), and a folder gone into must be the one looked at. The folder
# itself is no link, is the user's and theirs alone (0700). Run as the user: what it makes is theirs.
_handoff_state_folder() {
    local make=${1:-} step fromLink target links=0 owner mode device inode
    local -a steps parts
    IFS=/ read -r -d '' -a steps < <(printf '%s\0' "$handoff_home/.local/state")
    cd / || return 1
    # A name a link brought starts with a slash, which no name holds.
    while ((${#steps[@]})); do
        step=${steps[0]} steps=("${steps[@]:1}") fromLink=
        [[ $step != /* ]] || fromLink=1 step=${step#/}
        case $step in
            '' | .) continue ;;
            ..) cd .. && continue || return 1 ;;
        esac
        [[ -e ./$step || -L ./$step || -n $fromLink || -z $make ]] || mkdir -m 0700 -- "./$step" 2>/dev/null || true
        read -r owner mode device inode < <(stat -c '%u %f %d %i' -- "./$step" 2>/dev/null) || return 1
        if (((0x$mode & 0xf000) == 0xa000)); then
            [[ $owner == "$handoff_uid" || $owner == 0 ]] && ! _handoff_shared . || return 1
            ((++links <= 40)) && target=$(readlink -- "./$step") || return 1
            if [[ $target == /* ]]; then cd / || return 1; fi
            IFS=/ read -r -d '' -a parts < <(printf '%s\0' "$target")
            steps=("${parts[@]/#//}" "${steps[@]}")
            continue
        fi
        [[ -d ./$step ]] && cd -P -- "./$step" && [[ $(stat -c '%d %i' .) == "$device $inode" ]] || return 1
    done
    step=org.quillfen.Quillfen
    [[ -e ./$step || -L ./$step || -z $make ]] || mkdir -m 0700 -- "./$step" 2>/dev/null || true
    [[ ! -L ./$step && -d ./$step ]] || return 1
    read -r device inode < <(stat -c '%d %i' -- "./$step") && cd -P -- "./$step" &&
        [[ $(stat -c '%d %i %u %a' .) == "$device $inode $handoff_uid 700" ]]
}

# _handoff_refusals recall|remember CHECKOUT [WHAT], as the user, in their state folder: the notes
# of the checkouts refused before (a line each: the checkout, and "run" where what root runs first
# was open to others), in refused-checkouts (0600). recall prints those of CHECKOUT; remember adds
# one. False where the folder cannot be had as it must be, or the file is no file.
_handoff_refusals() {
    local file=./refused-checkouts line=$2${3:+ $3} start='' make=''
    [[ -n $2 ]] || return 1
    [[ $1 != remember ]] || make=1
    _handoff_state_folder "$make" || return 1
    if [[ -e $file || -L $file ]]; then
        [[ -f $file ]] || return 1
        if [[ $1 == recall ]]; then
            grep -xF -e "$2" -e "$2 run" -- "$file"
            return 0
        fi
        ! grep -qxF -e "$line" -- "$file" || return 0
        [[ -z $(tail -c 1 -- "$file") ]] || start=$'\n'
    fi
    [[ $1 == remember ]] || return 0
    umask 077
    printf '%s%s\n' "$start" "$line" >>"$file"
}

# The same, run as the user root acts for, with this shell's functions as root read them.
_handoff_memory() {
    "${handoff_as_caller[@]}" "$BASH" -c "$(declare -f; declare -p handoff_uid handoff_gid handoff_home _handoff_names)
        _handoff_refusals \"\$@\"" refusals "$@" </dev/null 2>/dev/null
}

# Says every place where others could change what root would act on and who could, or that the
# checkout was refused before, then the one safe way on, and stops; the refusal is remembered, so
# that a checkout once refused stays refused whatever is done to it. A chmod, setfacl or rm would
# undo nothing the others already wrote, nor a file they still hold open, and one over a tree they
# can still rename in goes where they send it: the way on is a clean clone in a folder nobody else
# may write. Where the places hold code root has already run, that is said instead of "stopped
# before": whoever looks after the machine should know. AFTER says what to do in the clone, when
# that is more than the same command.
handoff_refuse() {
    local after=${1:-"Run the same command in the new clone."} count=${#handoff_places[@]} i list owner=you what=
    local before=${_handoff_before:-}
    _handoff_say() { echo "${1//[[:cntrl:]]/?}" >&2; }
    if ((count)); then
        _handoff_in_what_root_runs && what=run
        _handoff_memory remember "$(_handoff_checkout)" $what || true
        _handoff_shown "${handoff_places[0]}"
        list=$_handoff_said
        for ((i = 1; i < count && i < 3; i++)); do
            _handoff_shown "${handoff_places[i]}"
            list+=", $_handoff_said"
        done
        ((count <= 3)) || list+=" and $((count - 3)) more"
        if _handoff_root_ran; then
            _handoff_say "Stopped, but root has already run code others could have changed: others may change $list, and root ran code from there."
            _handoff_say "Whoever looks after this machine should know."
        else
            _handoff_say "Stopped before root acted: others may change $list, and root would act on whatever they put there."
        fi
        for ((i = 0; i < count && i < 5; i++)); do
            _handoff_shown "${handoff_places[i]}"
            _handoff_say "    $_handoff_said: ${_handoff_whos[i]}"
        done
        ((count <= 5)) || _handoff_say "    ... and $((count - 5)) more like these."
    elif [[ $before == *run* ]] && ((EUID == 0)); then
        _handoff_say "Stopped, but root has already run code others could have changed: this checkout was refused before, when others could change what root runs from it."
        _handoff_say "Whoever looks after this machine should know."
    else
        _handoff_say "Stopped before root acted: this checkout was refused before, when others could change it."
    fi
    [[ $handoff_uid != 0 ]] || owner=root
    _handoff_say "No change of modes makes this checkout safe again: it would not undo what others may already have"
    _handoff_say "written into it, nor take back a file they still hold open. Use a clean clone instead:"
    _handoff_say "    1. Clone the project again, from where you got it, into a folder that only $owner may write."
    if _handoff_clone_shared; then
        _handoff_say "       Run umask 022 first: as things are, others could write the new clone."
    fi
    _handoff_say "    2. $after"
    exit 1
}

# handoff_judge_checkout [AFTER]: the whole checkout, build folders included, by handoff_judge_tree,
# and then whether it was refused before; where either stands in the way, handoff_refuse AFTER.
handoff_judge_checkout() {
    handoff_judge_tree "$PWD" || handoff_refuse "$@"
    _handoff_before=$(_handoff_memory recall "$(_handoff_checkout)") || true
    [[ -z $_handoff_before ]] || handoff_refuse "$@"
}
