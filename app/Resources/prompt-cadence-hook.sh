#!/bin/bash
# Claude Code runs this as its prompt-submit hook. It keeps the moment of each prompt and
# nothing more: the prompt arrives on standard input and is read and dropped unseen. It prints
# nothing, since whatever a prompt hook prints joins the prompt.
cat >/dev/null 2>&1
umask 077
dir="${HOME}/.ostrel"
mkdir -p "$dir" 2>/dev/null
printf '{"ts":"%s"}\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" >>"$dir/prompt-cadence.jsonl" 2>/dev/null
exit 0
