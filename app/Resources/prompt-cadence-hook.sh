#!/bin/bash
# Claude Code runs this as its prompt-submit hook. It keeps the moment of each prompt and
# nothing more: the prompt arrives on standard input and is read and dropped unseen. It prints
# nothing, since whatever a prompt hook prints joins the prompt.
cat >/dev/null 2>&1
umask 077
journal="prompt-cadence.jsonl"
# In a home others may add to, another user may have made the folder first, or put their link
# at the folder's or the journal's name, or swap one in while we look.
# @family-folder@
walk "$HOME" folder || exit 0
# 0700 from mkdir itself: under a default access list on the home the umask is not applied, and
# the list's users would be let in until the folder is narrowed.
[ -e .ostrel ] || [ -L .ostrel ] || mkdir -m 700 .ostrel 2>/dev/null
# The journal, wherever the user's own link puts it, is kept in a folder nobody else may write.
enter ./.ostrel && walk "./$journal" file && ! shared || exit 0
if [ -e "$name" ] || [ -L "$name" ]; then
    mine "$name" || exit 0
    how=nocreat
else
    how=excl
fi
printf -v line '{"ts":"%s"}' "$(date -u +%Y-%m-%dT%H:%M:%SZ)"
# Opened without following a link and without waiting for a reader, whatever was swapped in
# since the look; a new file is made only where nothing is, not even a link.
dd of="$name" oflag=append,nofollow,nonblock conv=notrunc,$how status=none <<<"$line" 2>/dev/null || exit 0
# The umask does not narrow a file made under a default access list, which the folder may have
# taken from the home.
[ "$how" = nocreat ] || chmod 600 -- "$name" 2>/dev/null
exit 0
