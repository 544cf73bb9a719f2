#!/usr/bin/env bash
# Measures what the running application costs at rest: its resident memory and its CPU time over
# an idle minute, once with the tray icon and the breathing desktop pane, once with no window.
# It starts its own small desktop (Xvfb, a private bus, openbox, trayer, dunst when installed) and
# a throw-away home for each run. A measurement, not a test: CTest never runs it.
# Usage: bench/resources.sh [path/to/quillfen]     (default: build/default/app/quillfen)
set -euo pipefail
umask 077  # the homes' files are private, as the application keeps its own
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
app=$(realpath "${1:-$root/build/default/app/quillfen}")
[[ -x $app ]] || { echo "no quillfen binary at $app" >&2; exit 1; }

settle=20 idle=60 hz=$(getconf CLK_TCK)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillfen-resources.XXXXXX")
desktop_pids=() app_pid=

stop() {  # ends one child of ours and returns its exit status; SIGKILL after 5 s of SIGTERM
    kill -TERM "$1" 2>/dev/null || true
    for _ in {1..50}; do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null
}
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    if [[ -n $app_pid ]]; then stop "$app_pid" || true; fi
    for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do stop "${desktop_pids[i]}" || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT && trap 'exit 130' INT TERM

wait_for() {  # wait_for WHAT SECONDS COMMAND...
    local what=$1 deadline=$((SECONDS + $2)); shift 2
    until "$@" >/dev/null 2>&1; do ((SECONDS < deadline)) || { echo "$what did not come up" >&2; exit 1; }; sleep 0.1; done
}

# Nothing from the caller's session may reach the desktop or the application.
unset WAYLAND_DISPLAY SESSION_MANAGER XDG_CURRENT_DESKTOP XDG_SESSION_TYPE DBUS_SESSION_BUS_ADDRESS
for name in $(compgen -e | grep -E '^(TAVRYN|QUILLFEN)_' || true); do unset "$name"; done
export HOME=$tmp/desktop TZ=UTC QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache \
       XDG_RUNTIME_DIR=$HOME/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$tmp/bus"

Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$tmp/display" 2>"$tmp/xvfb.log" & desktop_pids+=($!)
wait_for Xvfb 10 grep -q '[0-9]' "$tmp/display"
DISPLAY=:$(<"$tmp/display") && export DISPLAY

# A bus of our own without service activation, so it never starts a process we would not end.
cat >"$tmp/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:dir=$tmp/bus</listen>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
    <allow own="*"/></policy></busconfig>
EOF
dbus-daemon --config-file="$tmp/bus.conf" --nofork --nopidfile --print-address=3 3>"$tmp/bus.address" \
    2>"$tmp/bus.log" & desktop_pids+=($!)
wait_for dbus-daemon 10 grep -q unix: "$tmp/bus.address"
DBUS_SESSION_BUS_ADDRESS=$(<"$tmp/bus.address") && export DBUS_SESSION_BUS_ADDRESS
export DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS

openbox --sm-disable >"$tmp/openbox.log" 2>&1 & desktop_pids+=($!)
wait_for openbox 10 xdotool get_num_desktops
trayer --edge top --align right --height 24 --widthtype request >"$tmp/trayer.log" 2>&1 & desktop_pids+=($!)
wait_for trayer 10 xdotool search --class trayer
notifier=none
if command -v dunst >/dev/null; then dunst >"$tmp/dunst.log" 2>&1 & desktop_pids+=($!) notifier=dunst; fi

# A home with a kept promise (dated in seconds from 2001), so the first-run onboarding stays closed;
# for `pane`, also a Claude Code session of the last hour and a half, for which the pane shows.
make_home() {
    local home=$1 data=$1/.local/share/org.quillfen.Quillfen folder=$1/.claude/projects/-home-dev-quillfen
    local now t i=0 kinds=(user assistant)
    mkdir -p "$home/.config/org.quillfen.Quillfen" "$home/.cache" "$home/runtime" "$data"
    now=$(date +%s)
    printf '{"schemaVersion":1,"dayPhrase":"a long afternoon","moves":[{"id":"%s","label":"step-outside",%s' \
        "$(tr a-f A-F </proc/sys/kernel/random/uuid)" \
        "\"phrase\":\"step outside for five\"}],\"capturedAt\":$((now - 978307200))}" >"$data/promise.json"
    [[ $2 == pane ]] || return 0
    printf '[General]\ndesktopPaneHidden=false\n' >"$home/.config/org.quillfen.Quillfen/Quillfen.conf"
    mkdir -p "$folder"
    for ((t = now - 5400; t < now - 60; t += 150, i++)); do
        printf '{"type":"%s","timestamp":"%s","message":{"role":"%s"}}\n' \
            "${kinds[i % 2]}" "$(date -u -d "@$t" +%FT%T.000Z)" "${kinds[i % 2]}"
    done >"$folder/$(</proc/sys/kernel/random/uuid).jsonl"
}

# The widths of the application's windows on screen: the tray icon is small, the pane is not.
visible_widths() {
    for id in $(xdotool search --onlyvisible --class quillfen 2>/dev/null); do
        xdotool getwindowgeometry --shell "$id" | sed -n 's/^WIDTH=//p'
    done
}
memory_kb() { awk '/^(VmRSS|RssAnon|RssFile):/ {printf "%s ", $2}' "/proc/$1/status"; }
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }  # utime + stime, after the name
mb() { awk -v kb="$1" 'BEGIN {printf "%.1f", kb / 1024}'; }

failed=0 rows=()
measure() {  # measure NAME pane|none CPU_GOAL_SECONDS
    local name=$1 kind=$2 goal=$3 home=$tmp/$2 rss0 rss anon file s0 s1 t0 t1 cpu widths status=0 verdict=ok
    local icons=0 windows=0
    make_home "$home" "$kind"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
        XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/runtime" \
        TAVRYN_LOCATION_MODE=none TAVRYN_CLOUD_MIND=off "$app" >"$home/app.log" 2>&1 &
    app_pid=$!
    echo "$name: started (pid $app_pid), settling ${settle} s" >&2
    sleep "$settle"
    kill -0 "$app_pid" 2>/dev/null || { echo "$name: the application ended early" >&2; cat "$home/app.log" >&2; exit 1; }
    widths=$(visible_widths | sort -n | tr '\n' ' ')
    echo "$name: widths of its windows on screen: ${widths:-none}" >&2
    read -r rss0 _ <<<"$(memory_kb "$app_pid")"
    s0=$(cpu_ticks "$app_pid") t0=$(date +%s.%N)
    sleep "$idle"
    s1=$(cpu_ticks "$app_pid") t1=$(date +%s.%N)
    read -r rss anon file <<<"$(memory_kb "$app_pid")"
    cpu=$(awk -v d=$((s1 - s0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN {printf "%.2f", d / hz * 60 / (t1 - t0)}')
    stop "$app_pid" || status=$?; app_pid=
    awk -v r="$rss" -v c="$cpu" -v g="$goal" 'BEGIN {exit !(r <= 40 * 1024 && c <= g)}' || verdict="over goal"
    for w in $widths; do if ((w <= 64)); then ((++icons)); else ((++windows)); fi; done
    ((icons == 1)) || verdict="$icons tray icons"
    if [[ $kind == pane ]]; then ((windows == 1)) || verdict="$windows windows, not the pane alone"
    elif ((windows)); then verdict="$windows windows shown"; fi
    [[ $status == 0 ]] || verdict="exit status $status"
    [[ $verdict == ok || $verdict == "over goal" ]] || failed=1
    rows+=("$(printf '%-15s %7s %7s %8s %8s %9s   %-24s %s' "$name" "$(mb "$rss0")" "$(mb "$rss")" "$(mb "$anon")" \
        "$(mb "$file")" "$cpu" "<= 40 MB, <= $goal s/min" "$verdict")")
}

measure "pane breathing" pane 0.3
measure "no window" none 0.05

echo "quillfen at rest: $app (display $DISPLAY, notifications: $notifier, TZ=UTC)"
printf '%-15s %7s %7s %8s %8s %9s   %-24s %s\n' scenario "RSS@${settle}s" "RSS MB" RssAnon RssFile "CPU s/min" goals verdict
printf '%s\n' "${rows[@]}"
echo "(memory in MB at the end of the idle minute unless marked; CPU is utime+stime over that minute)"
exit "$failed"
