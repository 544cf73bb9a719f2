#!/bin/bash
# Claude Code runs this to draw its status line: the stone's face as Quillfen last judged it,
# from the newest face line of the decisions journal ("calm to neutral", "neutral to strained
# (resting: steppedAway)"). The session details Claude Code passes on standard input are read
# and dropped unseen.
cat >/dev/null 2>&1
journal="${HOME}/.ostrel/decisions-log.jsonl"
face=""
# Only a regular file: a pipe there would hold Claude Code's status line for as long as it waits.
if [ -f "$journal" ] && [ -r "$journal" ]; then
    # The journal may be megabytes long; its newest part holds the newest face.
    line=$(tail -c 262144 "$journal" 2>/dev/null | grep -F '"kind":"face"' | tail -n 1)
    detail=${line#*\"detail\":\"}
    detail=${detail%%\"*}
    face=${detail##* to }
    face=${face%% *}
fi
case "$face" in
    calm | neutral | strained) ;;
    *) face="quiet" ;;
esac
printf 'the stone \xc2\xb7 %s\n' "$face"
