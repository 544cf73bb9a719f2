#!/bin/bash
# Claude Code runs this as its prompt-submit hook. It keeps the moment of each prompt and
# nothing more: the prompt arrives on standard input and is read and dropped unseen. It prints
# nothing, since whatever a prompt hook prints joins the prompt.
cat >/dev/null 2>&1
umask 077
dir="${HOME}/.ostrel"
journal="prompt-cadence.jsonl"
# In a home others may add to, another user may have made the folder first, or put their link
# at the journal: the line goes only into a folder and a file of the user's. -O follows a link,
# so the user's own (a dotfiles folder) passes and a target of anyone else's does not. The folder
# is entered before it is looked at: one swapped in after the look is not the one written to.
[ -e "$dir" ] || [ -L "$dir" ] || mkdir -p "$dir" 2>/dev/null
cd -- "$dir" 2>/dev/null && [ -O . ] || exit 0
if [ -e "$journal" ] || [ -L "$journal" ]; then
    [ -f "$journal" ] && [ -O "$journal" ] || exit 0
fi
printf '{"ts":"%s"}\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" >>"$journal" 2>/dev/null
exit 0
