me=$EUID
# Whether someone other than the user and root may write the folder we are in. A group counts as
# others; an access list gives nobody it names more than the group bits.
shared() {
    local is
    is=$(stat -c '%u %a' . 2>/dev/null) || return 0
    case ${is% *} in
        "$me" | 0) [ $((8#${is#* } & 022)) -ne 0 ] ;;
        *) return 0 ;;
    esac
}
# The way is taken one name at a time from / (or from ./), each looked at without following it.
# A link is followed only when the user made it (a dotfiles folder), or root did where nobody else
# may write (/home a link to /var/home); a link with a second name only there too. What a link says
# is read between two looks that must agree, and the folder gone into must be the one looked at,
# as the next look checks: a name swapped meanwhile leads nowhere else. `walk <path> file` stops
# in the folder that holds the file, with its name in $name.
here=
walk() {
    local rest=$1 kind=$2 step is to links=0
    case $rest in
        /*) cd / && here= || return ;;
        ./*) ;;
        *) return 1 ;;
    esac
    while rest=${rest#"${rest%%[!/]*}"} && [ -n "$rest" ]; do
        step=${rest%%/*} rest=${rest#"$step"}
        [ "$step" != . ] || continue
        is=$(stat -c %d:%i/%F/%u/%h/%z -- . "./$step" 2>/dev/null)
        [ "${is%%/*}" = "${here:-${is%%/*}}" ] || return 1
        case $is in *$'\n'*) is=${is#*$'\n'} ;; *) is= ;; esac
        case ${is#*/} in
            "symbolic link/$me/1/"*) ;;
            "symbolic link/$me/"* | "symbolic link/0/"*) ! shared || return 1 ;;
            "symbolic link/"*) return 1 ;;
            *)
                if [ "$kind" = file ] && [ -z "${rest//\//}" ]; then
                    name=$step
                    return 0
                fi
                case $is in */directory/*) ;; *) return 1 ;; esac
                cd -P -- "./$step" 2>/dev/null && here=${is%%/*} && continue || return 1
                ;;
        esac
        [ $((links += 1)) -le 40 ] && to=$(readlink -- "./$step") &&
            [ "$(stat -c %d:%i/%F/%u/%h/%z -- "./$step" 2>/dev/null)" = "$is" ] || return 1
        case $to in /*) cd / && here= || return ;; esac
        rest=$to$rest
    done
    [ "$kind" != file ] && { [ -z "$here" ] || [ "$(stat -c %d:%i .)" = "$here" ]; }
}
# Once entered, the family folder is the user's alone: one of theirs that others may write is
# narrowed first, as the application narrows it. With no group bits, an access list's mask lets
# nobody it names in; 00700 takes a team folder's set-group-id bit too, which chmod keeps otherwise.
enter() {
    walk "$1" folder && [ -O . ] || return
    [ "$(stat -c %a .)" = 700 ] || { chmod 00700 . 2>/dev/null && [ "$(stat -c %a .)" = 700 ]; }
}
# A regular file of the user's at that name, not followed; its size in $size.
mine() {
    local is
    is=$(stat -c '%u %s %F' -- "$1" 2>/dev/null) || return
    case $is in
        "$me "*" regular "*) size=${is#* } size=${size%% *} ;;
        *) return 1 ;;
    esac
}
