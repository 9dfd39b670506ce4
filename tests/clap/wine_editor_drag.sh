#!/usr/bin/env bash
# The Windows .clap's editor under Wine, through the CLAP gui interface in the Windows host
# tool's window: a real drag on a fader (xdotool) and a click on IN must reach the host as
# gestures (begin, values, end), the drag ending at the fader's new value and the click setting
# the bypass. Skips (exit 77) when a tool it needs is missing; every wait has a time limit.
#
# Usage (behind tests/wine/with-xvfb.sh): wine_editor_drag.sh VSTHOST.exe VLMTarvix.clap WORK_DIR
set -u
host=${1:?host tool}
plugin=${2:?CLAP plug-in}
work=${3:?work directory}
skip=77
for tool in wine wineserver xdotool xwininfo timeout awk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit $skip
    fi
done
mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
tool_pid=
failures=0
cleanup() {
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null
    timeout 10 wineserver -k 2>/dev/null
}
trap cleanup EXIT
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
if [ -z "${DISPLAY:-}" ] || ! timeout 2 xwininfo -root >/dev/null 2>&1; then
    echo "SKIP: no X display"
    exit $skip
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 120 wineboot --init >/dev/null 2>&1
    timeout 60 wineserver -w
fi

gesture() { # LOG INDEX
    grep -o -E "audioMaster(BeginEdit|EndEdit|Automate) index=$2( |\$).*" "$1" | tr -d '\r' |
        awk '/BeginEdit/ { printf " begin" } /EndEdit/ { printf " end" }
             /Automate/ { sub(/value=/, "", $3); printf " %s", $3 }'
}

log=$work/editor.log
timeout 120 wine "$host" editor "$plugin" --seconds 12 --audio --log >"$log" 2>&1 &
tool_pid=$!
editor=
for _ in $(seq 300); do
    editor=$(xwininfo -root -tree 2>/dev/null | awk '/ 900x258\+/ && !/vsthost/ { print $1; exit }')
    [ -n "$editor" ] && break
    sleep 0.1
done
if [ -z "$editor" ]; then
    fail "no 900x258 editor window appeared: $(tail -n 3 "$log")"
    exit 1
fi
pass "the CLAP editor window is 900x258"
sleep 2
# Band 1's cap stands at y 131 for 0 dB; 10 pixels up is 0.6.
xdotool mousemove --window "$editor" 166 131
sleep 0.3
xdotool mousedown 1
for y in 127 121; do
    sleep 0.15
    xdotool mousemove --window "$editor" 166 $y
done
sleep 0.3
xdotool mouseup 1
sleep 0.3
xdotool mousemove --window "$editor" 843 159
sleep 0.3
xdotool click 1
wait "$tool_pid"
tool_pid=

got=$(gesture "$log" 0)
if [[ "$got" =~ ^\ begin(\ [0-9.]+)*\ 0\.600000\ end$ ]]; then
    pass "the drag reached the host as one gesture:$got"
else
    fail "the drag: expected ' begin ... 0.600000 end', got '$got'"
fi
got=$(gesture "$log" 10)
[ "$got" = " begin 1.000000 end" ] && pass "the IN click is the bypass set to 1:$got" ||
    fail "the IN click: expected ' begin 1.000000 end', got '$got'"
[ "$failures" -eq 0 ] || exit 1
