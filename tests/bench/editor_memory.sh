#!/usr/bin/env bash
# What opening the editor costs: the peak resident memory of the host tool's process (VmHWM,
# read from /proc/PID/status every 50 ms while `vsthost editor PLUGIN --seconds N` runs) and the
# time from effEditOpen to the first picture on the screen. The Linux tool times the picture
# itself (`--log`: it samples three rows of its window from the screen every 2 ms and notes when
# they first differ from the empty window's background). Under Wine the OpenGL child window is
# an X window that the Windows tool cannot read back, so first_frame_x11.py watches that window
# from outside and its time is set against the tool's effEditOpen time on the system clock.
# Cases: the Linux plug-in natively and the Windows DLL under Wine, each at scale 1 and 2, and a
# peer editor, a 31-band graphic equaliser from Debian (zam-plugins) with an OpenGL editor, by
# the same Linux tool in the same run. Each case runs --runs times, interleaved; medians are
# reported, with the targets: at 1x at most the peer's peak, at 2x at most 1.4 times our 1x peak,
# opening at 2x at most 1.3 times the 1x time. Beside them, in the same runs, the floor of this
# display: gl_open_floor (built with the benchmarks) opens a bare window with only the two large
# textures and one swap, so its 2x/1x ratio is what the window system and GL alone add. Not part
# of CTest: the figures depend on the machine and its load.
#
# Usage: editor_memory.sh [--wine VSTHOST.exe PLUGIN.dll] [--linux VSTHOST PLUGIN.so]
#                         [--peer PLUGIN.so] [--runs N] [--seconds S] [--work DIR]
# Without --wine or --linux both cases run with the tools and plug-ins of build/windows and
# build/linux. A case whose tool or plug-in is missing is reported as skipped.
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
wine_host=$root/build/windows/tools/vsthost/vsthost.exe
wine_plugin=$root/build/windows/plugin/VLMTarvix.dll
linux_host=$root/build/linux/tools/vsthost/vsthost
linux_plugin=$root/build/linux/plugin/VLMTarvix.so
peer=/usr/lib/vst/ZamGEQ31-vst.so
floor=$root/build/linux/tests/bench/gl_open_floor
cases=
runs=3
seconds=3
work=$root/build/bench-editor-memory

while [ $# -gt 0 ]; do
    case $1 in
    --wine) wine_host=$2 wine_plugin=$3 cases="$cases wine"; shift 3 ;;
    --linux) linux_host=$2 linux_plugin=$3 cases="$cases linux"; shift 3 ;;
    --peer) peer=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    *) echo "usage: $0 [--wine HOST.exe PLUGIN.dll] [--linux HOST PLUGIN.so] [--peer PLUGIN.so] [--runs N] [--seconds S] [--work DIR]" >&2
       exit 2 ;;
    esac
done
cases=${cases:-linux wine}

for tool in Xvfb xdpyinfo timeout awk python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "editor_memory: $tool is not installed" >&2
        exit 1
    fi
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
tool_pid=
uses_wine=

# The window at 2x (1800 x 516) must fit on the screen for the tool to see all of it.
export XVFB_SCREEN=${XVFB_SCREEN:-2048x1200x24}
. "$root/tests/bench/session.sh"

# measure LABEL SCALE WATCH COMMAND...: one run; appends "PEAK_KB FIRST_MS" to $work/LABEL.runs
# (FIRST_MS "-" when the first picture was not seen). The process started is the tool's own
# (wine replaces itself with the Windows program), so its VmHWM is the tool's peak. WATCH "-":
# the tool times the first picture itself; WATCH "WxH": the watcher looks for it in an X window
# of that size and the time is taken from the tool's effEditOpen time (Wine, whose OpenGL child
# windows the tool cannot read back).
measure() {
    local label=$1 scale=$2 watch=$3 peak= value first watcher= opened seen
    shift 3
    if [ "$watch" != - ]; then
        python3 "$root/tests/bench/first_frame_x11.py" "${watch%x*}" "${watch#*x}" 60 \
            >"$work/$label.watch" 2>&1 &
        watcher=$!
    fi
    "$@" --seconds "$seconds" --log --scale "$scale" >"$work/$label.log" 2>&1 </dev/null &
    tool_pid=$!
    while kill -0 "$tool_pid" 2>/dev/null; do
        value=$(awk '/^VmHWM:/ { print $2 }' "/proc/$tool_pid/status" 2>/dev/null)
        [ -n "$value" ] && peak=$value
        sleep 0.05
    done
    wait "$tool_pid"
    local status=$?
    tool_pid=
    if [ -n "$watcher" ]; then
        kill "$watcher" 2>/dev/null
        wait "$watcher" 2>/dev/null
        opened=$(awk '/^effEditOpen at / { print $3 }' "$work/$label.log")
        seen=$(head -n 1 "$work/$label.watch")
        first=$(awk -v a="$opened" -v b="$seen" \
            'BEGIN { if (a ~ /^[0-9.]+$/ && b ~ /^[0-9.]+$/) printf "%.1f", 1000 * (b - a) }')
    else
        first=$(awk '/^First frame: [0-9.]+ ms/ { print $3 }' "$work/$label.log")
    fi
    if [ "$status" -ne 0 ] || [ -z "$peak" ]; then
        echo "$label: the tool failed (exit $status, see $work/$label.log)" >&2
        return 1
    fi
    echo "$peak ${first:--}" >>"$work/$label.runs"
}

# measure_floor SCALE: one run of the floor program; appends "- MS" to floor-SCALEx.runs.
measure_floor() {
    local ms
    ms=$(timeout 60 "$floor" "$1" 2>/dev/null | awk '/^Open floor: / { print $3 }')
    echo "- ${ms:--}" >>"$work/floor-$1x.runs"
}

# median LABEL FIELD: the median of one field of a case's runs ("-" entries left out); empty
# when there is none.
median() {
    [ -f "$work/$1.runs" ] || return 0
    awk -v f="$2" '$f != "-" { print $f }' "$work/$1.runs" | sort -g |
        awk '{ v[n++] = $1 } END { if (n) printf "%.1f\n", n % 2 ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2 }'
}

# summary LABEL: one line with a case's medians.
summary() {
    local peak first count
    peak=$(median "$1" 1)
    first=$(median "$1" 2)
    count=$(wc -l <"$work/$1.runs" 2>/dev/null || echo 0)
    printf '%-16s peak %s MB, first frame %s ms after effEditOpen (median of %s)\n' "$1:" \
        "$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')" "${first:-n/a}" "$count"
}

# target TEXT VALUE LIMIT: "TEXT VALUE <= LIMIT: met" or "not met".
target() {
    if [ -z "$2" ] || [ -z "$3" ]; then
        echo "  $1: n/a"
        return
    fi
    awk -v t="$1" -v v="$2" -v l="$3" \
        'BEGIN { printf "  %s %.2f <= %.2f: %s\n", t, v, l, (v <= l ? "met" : "NOT met") }'
}

# report LABEL: our two scales against the peer and each other.
report() {
    local one two peer_peak one_peak two_peak one_first two_first
    one=$1-1x two=$1-2x
    summary "$one"
    summary "$two"
    one_peak=$(median "$one" 1)
    two_peak=$(median "$two" 1)
    one_first=$(median "$one" 2)
    two_first=$(median "$two" 2)
    peer_peak=$(median peer-1x 1)
    target "1x peak (MB) against the peer's" \
        "$(awk -v k="$one_peak" 'BEGIN { if (k != "") printf "%.1f", k / 1024 }')" \
        "$(awk -v k="$peer_peak" 'BEGIN { if (k != "") printf "%.1f", k / 1024 }')"
    target "2x peak / 1x peak" \
        "$(awk -v a="$two_peak" -v b="$one_peak" 'BEGIN { if (a != "" && b > 0) printf "%.3f", a / b }')" 1.4
    target "2x open / 1x open" \
        "$(awk -v a="$two_first" -v b="$one_first" 'BEGIN { if (a != "" && b > 0) printf "%.3f", a / b }')" 1.3
}

# floor_report: the floor's medians and ratio.
floor_report() {
    local one two
    one=$(median floor-1x 2)
    two=$(median floor-2x 2)
    [ -n "$one" ] && [ -n "$two" ] || return 0
    awk -v a="$one" -v b="$two" 'BEGIN { printf "floor:           1x %.1f ms, 2x %.1f ms, 2x/1x %.2f (a bare window, two textures, one swap)\n", a, b, b / a }'
}

rm -f "$work"/*.runs
have_peer=
if [ -f "$peer" ] && [ -f "$linux_host" ]; then
    have_peer=1
else
    echo "peer: skipped (no $peer or $linux_host; Debian package zam-plugins)"
fi
have_linux=
have_wine=
for c in $cases; do
    case $c in
    linux)
        if [ -f "$linux_host" ] && [ -f "$linux_plugin" ]; then
            have_linux=1
        else
            echo "linux-so: skipped (no $linux_host or $linux_plugin)"
        fi
        ;;
    wine)
        if ! command -v wine >/dev/null 2>&1; then
            echo "wine-dll: skipped (wine is not installed)"
        elif [ -f "$wine_host" ] && [ -f "$wine_plugin" ]; then
            have_wine=1
        else
            echo "wine-dll: skipped (no $wine_host or $wine_plugin)"
        fi
        ;;
    esac
done

if [ -n "$have_wine" ]; then
    uses_wine=1
    export WINEPREFIX=$work/prefix
    . "$root/scripts/wineprefix.sh"
    wine_prefix_ready
    # The server kept alive between the runs, so that its start is not measured; one run first
    # warms the prefix's caches.
    wineserver -p 600
    timeout 120 wine "$wine_host" editor "$wine_plugin" --seconds 1 >/dev/null 2>&1 </dev/null
fi

# The cases take turns, so that a change in the machine's load touches them alike.
for run in $(seq "$runs"); do
    if [ -n "$have_linux" ]; then
        measure linux-so-1x 1 - "$linux_host" editor "$linux_plugin"
        measure linux-so-2x 2 - "$linux_host" editor "$linux_plugin"
    fi
    if [ -n "$have_peer" ]; then
        measure peer-1x 1 - "$linux_host" editor "$peer"
    fi
    if [ -n "$have_linux" ] && [ -x "$floor" ]; then
        measure_floor 1
        measure_floor 2
    fi
    if [ -n "$have_wine" ]; then
        measure wine-dll-1x 1 900x258 wine "$wine_host" editor "$wine_plugin"
        measure wine-dll-2x 2 1800x516 wine "$wine_host" editor "$wine_plugin"
    fi
done

[ -n "$have_peer" ] && summary peer-1x
[ -n "$have_linux" ] && report linux-so && floor_report
[ -n "$have_wine" ] && report wine-dll
exit 0
