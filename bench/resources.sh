#!/usr/bin/env bash
# Measures what the running application costs: its start-up, its resident memory and its CPU time at
# rest, in a fresh home and in one with two weeks of history (fourteen days of samples, one a minute,
# and a 10 MB decisions journal), each once with the tray icon and the breathing desktop pane and once
# with no window, side by side in one run. The homes with history are held to the fresh ones: at most
# 3 MB more resident memory, and start-up within a second of CPU.
# It starts its own small desktop (Xvfb, a private bus, openbox, trayer, dunst when installed) and
# a throw-away home for each run; for an idle hour of ticks the application runs a second time on a
# clock of libfaketime's, sixty times as fast. A measurement, not a test: CTest never runs it.
# Usage: bench/resources.sh [path/to/quillfen]     (default: build/default/app/quillfen)
set -euo pipefail
umask 077  # the homes' files are private, as the application keeps its own
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
app=$(realpath "${1:-$root/build/default/app/quillfen}")
[[ -x $app ]] || { echo "no quillfen binary at $app" >&2; exit 1; }

settle=60 idle=60 hour_seconds=60 hz=$(getconf CLK_TCK)
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
# for `pane`, also a Claude Code session of the last hour and a half, for which the pane shows; for
# `history`, two weeks of use besides: fourteen days of samples, one a minute, in the signal log's
# own form, and a decisions journal of 10 MB.
make_home() {  # make_home HOME pane|none fresh|history
    local home=$1 data=$1/.local/share/org.quillfen.Quillfen folder=$1/.claude/projects/-home-dev-quillfen
    local now t i=0 kinds=(user assistant)
    mkdir -p "$home/.config/org.quillfen.Quillfen" "$home/.cache" "$home/runtime" "$data"
    now=$(date +%s)
    printf '{"schemaVersion":1,"dayPhrase":"a long afternoon","moves":[{"id":"%s","label":"step-outside",%s' \
        "$(tr a-f A-F </proc/sys/kernel/random/uuid)" \
        "\"phrase\":\"step outside for five\"}],\"capturedAt\":$((now - 978307200))}" >"$data/promise.json"
    [[ $3 == fresh ]] || write_history "$home" "$now"
    [[ $2 == pane ]] || return 0
    printf '[General]\ndesktopPaneHidden=false\n' >"$home/.config/org.quillfen.Quillfen/Quillfen.conf"
    mkdir -p "$folder"
    for ((t = now - 5400; t < now - 60; t += 150, i++)); do
        printf '{"type":"%s","timestamp":"%s","message":{"role":"%s"}}\n' \
            "${kinds[i % 2]}" "$(date -u -d "@$t" +%FT%T.000Z)" "${kinds[i % 2]}"
    done >"$folder/$(</proc/sys/kernel/random/uuid).jsonl"
}

# Days of work and nights away, as the sensing read writes them (keys sorted, ISO 8601 dates, whole
# numbers as integers), and the journal's kinds and details as the application writes them.
write_history() {  # write_history HOME NOW
    python3 - "$1" "$2" <<'PY'
import json, os, sys, time
home, now = sys.argv[1], int(sys.argv[2])
data = os.path.join(home, ".local/share/org.quillfen.Quillfen")
family = os.path.join(home, ".ostrel")
os.makedirs(family, exist_ok=True)
samples, stretch = [], 0.0
for i in range(14 * 24 * 60):
    t = now - (14 * 24 * 60 - i) * 60
    lt = time.localtime(t)
    hour = lt.tm_hour + lt.tm_min / 60
    at_work = 8.5 <= hour < 18.5 and lt.tm_wday < 5 and i % 97 > 4
    stretch = min(stretch + 60, 21600) if at_work else 0.0
    sample = {"timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t)),
              "continuousActiveSeconds": stretch,
              "appSwitchesLastHour": (i * 7) % 41 if at_work else 0,
              "secondsSinceLastInput": round((i * 13) % 170 / 3, 3) if at_work else 600.0 + i % 600,
              "localHour": hour,
              "displayState": "awake" if at_work else ("locked" if i % 3 else "displayAsleep")}
    samples.append(sample)
with open(os.path.join(data, "signal-log.json"), "w") as out:
    json.dump(samples, out, separators=(",", ":"), sort_keys=True)
kinds = ["face", "reset", "reflect", "stone", "face", "update"]
with open(os.path.join(family, "decisions-log.jsonl"), "w") as out:
    size, i, t = 0, 0, now - 30 * 86400
    while size < 10 * 1024 * 1024:
        line = json.dumps({"ts": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t)), "kind": kinds[i % 6],
                           "detail": "calm to neutral, after a stretch of %d min" % (i % 180)},
                          separators=(",", ":")) + "\n"
        out.write(line)
        size, i, t = size + len(line), i + 1, t + 30
PY
}

# The widths of the application's windows on screen: the tray icon is small, the pane is not.
visible_widths() {
    for id in $(xdotool search --onlyvisible --class quillfen 2>/dev/null); do
        xdotool getwindowgeometry --shell "$id" | sed -n 's/^WIDTH=//p'
    done
}
shows() {  # shows icon|pane: whether a window of that kind is on screen
    local w
    for w in $(visible_widths); do
        if [[ $1 == icon ]] && ((w <= 64)); then return 0; fi
        if [[ $1 == pane ]] && ((w > 64)); then return 0; fi
    done
    return 1
}
memory_kb() { awk '/^(VmRSS|RssAnon|RssFile):/ {printf "%s ", $2}' "/proc/$1/status"; }
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }  # utime + stime, after the name
mb() { awk -v kb="$1" 'BEGIN {printf "%.1f", kb / 1024}'; }
seconds() { awk -v t="$1" -v hz="$hz" 'BEGIN {printf "%.2f", t / hz}'; }
since() { awk -v t0="$1" -v t="$(date +%s.%N)" 'BEGIN {printf "%.0f", t - t0}'; }

# The application's clock for the idle hour: libfaketime runs it sixty times as fast.
faketime_lib=$(find /usr/lib /usr/lib64 -name libfaketimeMT.so.1 2>/dev/null | head -n1)
[[ -n $faketime_lib ]] || { echo "libfaketime is not installed (package faketime)" >&2; exit 1; }

launch() {  # launch HOME [VARIABLE=VALUE...]: starts the application in that home, its pid in app_pid
    local home=$1; shift
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
        XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/runtime" \
        TAVRYN_LOCATION_MODE=none TAVRYN_CLOUD_MIND=off "$@" "$app" >>"$home/app.log" 2>&1 &
    app_pid=$!
}
alive() {  # alive NAME HOME
    kill -0 "$app_pid" 2>/dev/null && return 0
    echo "$1: the application ended early" >&2 && cat "$2/app.log" >&2 && exit 1
}

failed=0 rows=()
declare -A rss60_of rsshour_of
measure() {  # measure NAME pane|none fresh|history CPU_GOAL_SECONDS
    local name=$1 kind=$2 age=$3 goal=$4 home=$tmp/$2-$3 hour_home=$tmp/$2-$3-hour
    local started c_icon=- c_pane=- rss60 rss anon file rss_hour s0 s1 t0 t1 h0 h1 cpu tick samples
    local widths status=0 verdict=ok icons=0 windows=0 goals
    make_home "$home" "$kind" "$age"
    cp -a "$home" "$hour_home"
    started=$(date +%s.%N)
    launch "$home"
    echo "$name: started (pid $app_pid)" >&2
    # Start-up: the CPU spent until the tray icon shows and, with the pane, until the first body
    # publication puts the pane on screen.
    while (($(since "$started") < 30)); do
        alive "$name" "$home"
        if [[ $c_icon == - ]] && shows icon; then c_icon=$(seconds "$(cpu_ticks "$app_pid")"); fi
        if [[ $kind == pane && $c_pane == - ]] && shows pane; then c_pane=$(seconds "$(cpu_ticks "$app_pid")"); fi
        [[ $c_icon == - || ($kind == pane && $c_pane == -) ]] || break
        sleep 0.05
    done
    sleep "$(awk -v t="$(since "$started")" -v s="$settle" 'BEGIN {print (s > t ? s - t : 0)}')"
    alive "$name" "$home"
    widths=$(visible_widths | sort -n | tr '\n' ' ')
    echo "$name: start-up CPU to the icon ${c_icon} s, to the pane ${c_pane} s; windows on screen: ${widths:-none}" >&2
    read -r rss60 _ <<<"$(memory_kb "$app_pid")"
    s0=$(cpu_ticks "$app_pid") t0=$(date +%s.%N)
    sleep "$idle"
    s1=$(cpu_ticks "$app_pid") t1=$(date +%s.%N)
    read -r rss anon file <<<"$(memory_kb "$app_pid")"
    cpu=$(awk -v d=$((s1 - s0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN {printf "%.2f", d / hz * 60 / (t1 - t0)}')
    stop "$app_pid" || status=$?; app_pid=

    # An idle hour of ticks, from a second start in a copy of the home: the clock runs sixty times
    # as fast, so a minute of it is an hour with sixty ticks and twelve body publications; its CPU
    # after the first few seconds, shared among those ticks, is a tick's.
    echo "$name: an idle hour of ticks" >&2
    launch "$hour_home" LD_PRELOAD="$faketime_lib" FAKETIME="+0 x60"
    sleep 5 && alive "$name" "$hour_home"
    h0=$(cpu_ticks "$app_pid")
    sleep "$hour_seconds" && alive "$name" "$hour_home"
    h1=$(cpu_ticks "$app_pid")
    read -r rss_hour _ <<<"$(memory_kb "$app_pid")"
    tick=$(awk -v d=$((h1 - h0)) -v hz="$hz" -v n="$hour_seconds" 'BEGIN {printf "%.1f", d / hz / n * 1000}')
    stop "$app_pid" || status=$?; app_pid=
    samples=$(grep -o '"timestamp"' "$hour_home/.local/share/org.quillfen.Quillfen/signal-log.json" | wc -l)
    echo "$name: $samples samples in the log after the hour" >&2

    rss60_of[$kind]=${rss60_of[$kind]-$rss60} rsshour_of[$kind]=${rsshour_of[$kind]-$rss_hour}
    if [[ $age == fresh ]]; then
        goals="<= 40 MB, <= $goal s/min"
        awk -v r="$rss" -v c="$cpu" -v g="$goal" 'BEGIN {exit !(r <= 40 * 1024 && c <= g)}' || verdict="over goal"
    else
        goals="fresh + 3 MB, start <= 1 s"
        awk -v r="$rss60" -v h="$rss_hour" -v r0="${rss60_of[$kind]}" -v h0="${rsshour_of[$kind]}" \
            -v a="$c_icon" -v p="$c_pane" \
            'BEGIN {exit !(r <= r0 + 3072 && h <= h0 + 3072 && a <= 1 && (p == "-" || p <= 1))}' || verdict="over goal"
    fi
    for w in $widths; do if ((w <= 64)); then ((++icons)); else ((++windows)); fi; done
    ((icons == 1)) || verdict="$icons tray icons"
    if [[ $kind == pane ]]; then ((windows == 1)) || verdict="$windows windows, not the pane alone"
    elif ((windows)); then verdict="$windows windows shown"; fi
    [[ $status == 0 ]] || verdict="exit status $status"
    [[ $verdict == ok || $verdict == "over goal" ]] || failed=1
    rows+=("$(printf '%-16s %6s %6s %7s %7s %8s %8s %8s %9s %8s   %-27s %s' "$name" "$c_icon" "$c_pane" \
        "$(mb "$rss60")" "$(mb "$rss")" "$(mb "$anon")" "$(mb "$file")" "$(mb "$rss_hour")" "$cpu" "$tick" \
        "$goals" "$verdict")")
}

# The fresh homes first: the homes with history are held to them.
measure "fresh, pane" pane fresh 0.3
measure "fresh, no window" none fresh 0.05
measure "14 days, pane" pane history 0.3
measure "14 days, none" none history 0.05

echo "quillfen: $app (display $DISPLAY, notifications: $notifier, TZ=UTC)"
printf '%-16s %6s %6s %7s %7s %8s %8s %8s %9s %8s   %-27s %s\n' scenario "icon s" "pane s" "RSS@60s" \
    "RSS@2m" RssAnon RssFile "RSS@1h" "CPU s/min" "tick ms" goals verdict
printf '%s\n' "${rows[@]}"
echo "(icon s, pane s: CPU spent from start until the tray icon, and the pane after the first body publication,"
echo " show; RSS in MB at 60 s, after the idle minute that follows (with its RssAnon and RssFile) and after an idle"
echo " hour of ticks (a second start on a clock sixty times as fast); CPU s/min over the idle minute; tick ms: the"
echo " CPU of the idle hour shared among its sixty ticks, all else the hour ran included)"
exit "$failed"
