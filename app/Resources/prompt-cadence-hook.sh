#!/bin/bash
# Claude Code runs this as its prompt-submit hook. It keeps the moment of each prompt and
# nothing more: the prompt arrives on standard input and is read and dropped unseen. It prints
# nothing, since whatever a prompt hook prints joins the prompt.
cat >/dev/null 2>&1
umask 077
dir="${HOME}/.ostrel"
journal="prompt-cadence.jsonl"
me=$(id -u)
# In a home others may add to, another user may have made the folder first, or put their link
# at the folder's or the journal's name. A link is followed only when the user made it (a
# dotfiles folder), and every link it leads to as well: who made a link decides where it leads,
# whatever it leads to. What it leads to must be the user's too (-O follows).
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
[ -e "$dir" ] || [ -L "$dir" ] || mkdir -p "$dir" 2>/dev/null
# Entered first and judged after: a name swapped in meanwhile leads somewhere else than here.
cd -- "$dir" 2>/dev/null && [ -O . ] && mine "$dir" &&
    [ "$(stat -L -c %d:%i -- "$dir" 2>/dev/null)" = "$(stat -c %d:%i .)" ] || exit 0
line=$(printf '{"ts":"%s"}' "$(date -u +%Y-%m-%dT%H:%M:%SZ)")
if [ -e "$journal" ] || [ -L "$journal" ]; then
    mine "./$journal" && [ -f "$journal" ] && [ -O "$journal" ] || exit 0
    printf '%s\n' "$line" >>"$journal" 2>/dev/null
else
    # Made new, never through a link put there meanwhile (noclobber creates exclusively).
    (set -C && printf '%s\n' "$line" >"$journal") 2>/dev/null
fi
exit 0
