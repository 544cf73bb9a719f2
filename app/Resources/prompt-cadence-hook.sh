#!/bin/bash
# Claude Code runs this as its prompt-submit hook. It keeps the moment of each prompt and
# nothing more: the prompt arrives on standard input and is read and dropped unseen. It prints
# nothing, since whatever a prompt hook prints joins the prompt.
cat >/dev/null 2>&1
umask 077
dir="${HOME}/.ostrel"
journal="prompt-cadence.jsonl"
# In a home others may add to, another user may have made the folder first, or put their link
# at the folder's or the journal's name.
# @family-folder@
[ -e "$dir" ] || [ -L "$dir" ] || mkdir -p "$dir" 2>/dev/null
enter "$dir" || exit 0
line=$(printf '{"ts":"%s"}' "$(date -u +%Y-%m-%dT%H:%M:%SZ)")
if [ -e "$journal" ] || [ -L "$journal" ]; then
    mine "./$journal" && [ -f "$journal" ] && [ -O "$journal" ] || exit 0
    printf '%s\n' "$line" >>"$journal" 2>/dev/null
else
    # Made new, never through a link put there meanwhile (noclobber creates exclusively).
    (set -C && printf '%s\n' "$line" >"$journal") 2>/dev/null
fi
exit 0
