# shellcheck shell=bash
# Sourced by test.sh and test-as-contributor.sh: what keeps root's test run to itself. Its account
# is nobody else's; the run goes on in a PID namespace of its own, so that nothing it started
# outlives it, however it ends; what the account wrote reaches root's terminal with its control
# characters escaped.

# Run as root, the script goes on as the first process of a PID namespace of its own (`contained
# SCRIPT ARGUMENTS`), with a /proc of its own in a mount namespace of its own, and this process
# waits for it and ends with its status. When that first process ends, the kernel ends everything
# still in the namespace. When this one ends first, however (Ctrl-C, SIGTERM, even SIGKILL), the
# kernel kills unshare (setpriv's parent-death signal), whose child goes with it. unshare is not
# the script's process itself (exec): it holds back SIGTERM and SIGINT, and a run it stood for would
# not end on them. It returns inside the namespace, and where it needs none (as another account).
contained() {
    ((EUID == 0 && $$ != 1)) || return 0
    local status=0
    # Waited for in the background: bash runs a trap at once while it waits, but only after a
    # command in the foreground has ended, and the account's tests, in a session of their own, never
    # see Ctrl-C. What runs in the background ignores SIGINT and SIGQUIT, which the run's own
    # processes get back.
    setpriv --pdeathsig KILL -- unshare --pid --fork --kill-child --mount-proc -- \
        env --default-signal=INT,QUIT "$@" &
    trap 'exit 130' INT
    wait "$!" || status=$?
    exit "$status"
}

# Standard input shown as it comes, its control characters escaped as the scripts show names
# (\x1b, \u009b): nothing another account printed can move root's cursor, retitle its terminal or
# ask the terminal for an answer that would arrive as typed input. Tabs and line ends stay.
visibly() {
    local code c0 c1 program='s/\x7f/\\x7f/g;'
    for code in {0..31}; do
        printf -v c0 %02x "$code"
        printf -v c1 %02x $((code + 0x80))
        [[ $code == 9 || $code == 10 ]] || program+="s/\\x$c0/\\\\x$c0/g;"
        program+="s/\\xc2\\x$c1/\\\\u00$c1/g;"
    done
    LC_ALL=C sed -u -e "$program"
}

# The tests' account: its name (another for the tests of these scripts), and the comment by which we
# know one that we made.
account=${QUILLFEN_TESTS_ACCOUNT:-quillfen-tests}
made_by_us="Quillfen's tests"
if ! [[ $account =~ ^[a-z_][a-z0-9_-]{0,31}$ ]]; then
    echo "QUILLFEN_TESTS_ACCOUNT is $(printf %q "$account"), not the name of an account" >&2
    exit 2
fi

# The entry that holds a name or a number in the account or group database (passwd or group) of the
# tree at the root given, or of this machine when it is empty. The machine's databases are asked
# for one entry, never listed: a directory service may list nothing, or take minutes.
holder() {
    if [[ -z $1 ]]; then
        getent "$2" "$3" || true
    else
        awk -F: -v key="$3" '(key ~ /^[0-9]+$/ ? $3 : $1) == key { print; exit }' "$1/etc/$2"
    fi
}

# The tests' account at the root given (this machine when empty), in `entry` and its_uid, its_gid
# and its_home, or an empty entry. An account of that name that we did not make stops everything.
ours() {
    entry=$(holder "$1" passwd "$account")
    [[ -n $entry ]] || return 0
    local comment
    # shellcheck disable=SC2034 # for the scripts that source this
    IFS=: read -r _ _ its_uid its_gid comment its_home _ <<<"$entry"
    if [[ $comment != "$made_by_us" || $its_uid -eq 0 ]]; then
        echo "== an account named $account is there that these tests did not make; nothing ran as it" >&2
        exit 1
    fi
}

# An account that an older run made on this machine among people's (from UID_MIN up, where the
# next person's account would have its uid) is removed with its home, once nothing of it runs:
# userdel refuses while anything does. Root's run does it before it is contained, while /proc still
# shows the machine's processes.
retire_older_account() {
    ((EUID == 0)) || return 0
    ours ""
    local people
    people=$(awk '$1 == "UID_MIN" { print $2 }' /etc/login.defs)
    [[ -n $entry ]] && ((its_uid >= ${people:-1000})) || return 0
    if (($$ == 1)) || ! userdel "$account"; then
        echo "== nothing ran: the account $account that an older run made among people's (uid $its_uid) is" \
            "still in use, or this run cannot see what runs as it; run again from a root shell once it has ended" >&2
        exit 1
    fi
    echo "== the account $account that an older run made among people's (uid $its_uid) is removed, with its home"
    [[ -z $(holder "" group "$account") ]] || groupdel "$account"
    [[ $(stat -c %F:%u -- "$its_home" 2>/dev/null) != directory:$its_uid ]] || rm -rf --one-file-system -- "$its_home"
}
