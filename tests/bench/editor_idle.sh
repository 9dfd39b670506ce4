#!/usr/bin/env bash
# What the open editor costs: the host tool opens it on a private virtual X display, and the
# processor time of the tool's process (user + system, from /proc/PID/stat) is reported as a
# percentage of one core, over 20 s at rest and over a 5 s drag of a fader (xdotool: press,
# many moves, release). Cases: the Windows DLL under Wine (the vsthost.exe process, and this
# prefix's wineserver on its own) and the Linux plug-in natively. The X server's share is shown
# too. One line per case and phase. Not part of CTest: the figures depend on the machine's load,
# so compare runs made side by side, and repeat.
#
# Usage: editor_idle.sh [--wine VSTHOST.exe PLUGIN.dll] [--linux VSTHOST PLUGIN.so]
#                       [--idle SECONDS] [--drag SECONDS] [--work DIR]
# Without --wine or --linux both cases run with the tools and plug-ins of build/windows and
# build/linux. A case whose tool or plug-in is missing is reported as skipped.
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
wine_host=$root/build/windows/tools/vsthost/vsthost.exe
wine_plugin=$root/build/windows/plugin/VLMTarvix.dll
linux_host=$root/build/linux/tools/vsthost/vsthost
linux_plugin=$root/build/linux/plugin/VLMTarvix.so
cases=
idle=20
drag=5
work=$root/build/bench-editor-idle

while [ $# -gt 0 ]; do
    case $1 in
    --wine) wine_host=$2 wine_plugin=$3 cases="$cases wine"; shift 3 ;;
    --linux) linux_host=$2 linux_plugin=$3 cases="$cases linux"; shift 3 ;;
    --idle) idle=$2; shift 2 ;;
    --drag) drag=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) echo "usage: $0 [--wine HOST.exe PLUGIN.dll] [--linux HOST PLUGIN.so] [--idle S] [--drag S] [--work DIR]" >&2
       exit 2 ;;
    esac
done
cases=${cases:-wine linux}

for tool in Xvfb xdotool xwininfo xdpyinfo timeout awk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "editor_idle: $tool is not installed" >&2
        exit 1
    fi
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
hz=$(getconf CLK_TCK)
tool_pid=
uses_wine=

. "$root/tests/bench/session.sh"

# Clock ticks a process has run, user and system; empty once it is gone. The name in field 2
# may hold spaces, so the fields are counted from its closing parenthesis.
ticks() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    stat=${stat##*) }
    awk '{ print $12 + $13 }' <<<"$stat"
}

# The share of one core between two tick counts over a number of seconds.
share() {
    if [ -z "$1" ] || [ -z "$2" ]; then
        echo "n/a"
        return
    fi
    awk -v a="$1" -v b="$2" -v s="$3" -v hz="$hz" 'BEGIN { printf "%.1f %%", 100 * (b - a) / hz / s }'
}

# This prefix's wineserver: it runs in the server directory named after the prefix's device and
# inode numbers.
wineserver_pid() {
    local dir pid
    dir=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    for pid in $(pgrep -x "wineserver|wineserver64"); do
        case $(readlink "/proc/$pid/cwd" 2>/dev/null) in
        */"$dir") echo "$pid"; return ;;
        esac
    done
}

# The 900x258 editor window, once it is mapped.
find_editor() {
    local id
    for _ in $(seq 600); do
        id=$(xwininfo -root -tree 2>/dev/null |
            awk '/ 900x258\+/ && !/vsthost/ && !/unmapped/ { print $1; exit }')
        if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable"; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# sample PID...: notes each process's ticks; report LABEL SECONDS NAME PID...: one line with
# each process's share since then (an empty PID is left out).
declare -A before
sample() {
    local pid
    for pid in "$@"; do
        [ -n "$pid" ] && before[$pid]=$(ticks "$pid")
    done
}
report() {
    local label=$1 seconds=$2 line pid name
    shift 2
    line=$(printf '%-28s' "$label:")
    while [ $# -gt 0 ]; do
        name=$1 pid=$2
        shift 2
        [ -n "$pid" ] || continue
        line="$line $name $(share "${before[$pid]}" "$(ticks "$pid")" "$seconds"),"
    done
    echo "${line%,}"
}

run_case() {
    local label=$1 host=$2 plugin=$3 editor server x y moves
    shift 3
    if [ ! -f "$host" ] || [ ! -f "$plugin" ]; then
        echo "$label: skipped (no $host or $plugin)"
        return
    fi
    "$@" "$host" editor "$plugin" --seconds $((idle + drag + 120)) >"$work/$label.log" 2>&1 &
    tool_pid=$!
    if ! editor=$(find_editor); then
        echo "$label: no editor window appeared (see $work/$label.log)"
        kill "$tool_pid" 2>/dev/null
        wait "$tool_pid" 2>/dev/null
        tool_pid=
        return
    fi
    server=
    if [ -n "$uses_wine" ]; then
        server=$(wineserver_pid)
    fi
    # Start-up work (images, first frames) is over before the measurement begins.
    sleep 3
    sample "$tool_pid" "$server" "$xvfb_pid"
    sleep "$idle"
    report "$label idle ${idle}s" "$idle" tool "$tool_pid" wineserver "$server" Xvfb "$xvfb_pid"

    # The 500 Hz fader: its cap stands at y 131 at 0 dB; the drag sweeps it up and down, 3 pixels
    # a move, faster than the redraw period, so that every tick has a new value to show.
    x=424
    timeout 10 xdotool mousemove --window "$editor" $x 131
    sleep 0.5
    timeout 10 xdotool mousedown 1
    moves=()
    for i in $(seq 0 $((drag * 100 - 1))); do
        y=$((131 - (i % 40 < 20 ? i % 20 : 20 - i % 20) * 3))
        moves+=(mousemove --window "$editor" $x $y sleep 0.01)
    done
    sample "$tool_pid" "$server" "$xvfb_pid"
    local start end
    start=$(date +%s.%N)
    timeout $((drag + 30)) xdotool "${moves[@]}"
    end=$(date +%s.%N)
    local seconds
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    report "$label drag ${seconds}s" "$seconds" tool "$tool_pid" wineserver "$server" Xvfb "$xvfb_pid"
    timeout 10 xdotool mouseup 1

    kill "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
    tool_pid=
}

for c in $cases; do
    case $c in
    wine)
        if ! command -v wine >/dev/null 2>&1; then
            echo "wine: skipped (wine is not installed)"
            continue
        fi
        uses_wine=1
        export WINEPREFIX=$work/prefix
        . "$root/scripts/wineprefix.sh"
        wine_prefix_ready
        # The server kept alive between the runs, so that its start is not measured.
        wineserver -p 120
        run_case wine-dll "$wine_host" "$wine_plugin" wine
        timeout 10 wineserver -k 2>/dev/null
        uses_wine=
        ;;
    linux)
        run_case linux-so "$linux_host" "$linux_plugin"
        ;;
    esac
done
