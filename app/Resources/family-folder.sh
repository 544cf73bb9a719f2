me=$(id -u)
# A link is followed only when the user made it (a dotfiles folder), and every link it leads to as
# well: who made a link decides where it leads, whatever it leads to. What it leads to must be the
# user's too (-O follows).
mine() {
    local at=$1 to n=0
    while [ -L "$at" ]; do
        [ "$(stat -c %u -- "$at" 2>/dev/null)" = "$me" ] && [ $((n += 1)) -le 40 ] || return 1
        to=$(readlink -- "$at") || return 1
        case $to in
            /*) at=$to ;;
            *) at=${at%/*}/$to ;;
        esac
    done
}
# Into the folder when it is the user's, through no link but theirs. Entered first and judged
# after: a name swapped in meanwhile leads somewhere else than here.
enter() {
    cd -- "$1" 2>/dev/null && [ -O . ] && mine "$1" &&
        [ "$(stat -L -c %d:%i -- "$1" 2>/dev/null)" = "$(stat -c %d:%i .)" ]
}
