#!/usr/bin/env bash
# The Windows .clap's editor under Wine, through the CLAP gui interface in the Windows host
# tool's window: a real drag on a fader (xdotool) and a click on IN must reach the host as
# gestures (begin, values, end), the drag ending at the fader's new value and the click setting
# the bypass. Skips (exit 77) when a tool it needs is missing. It never sleeps for a guessed
# time: it waits on what it needs (the window mapped at its size, a settled picture, a log line),
# each with a deadline, and a deadline that passes names its condition.
#
# Usage (behind tests/wine/with-xvfb.sh): wine_editor_drag.sh VSTHOST.exe VLMTarvix.clap WORK_DIR
set -u
host=${1:?host tool}
plugin=${2:?CLAP plug-in}
work=${3:?work directory}
skip=77
for tool in wine wineserver xdotool xwininfo import convert compare timeout awk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit $skip
    fi
done
mkdir -p "$work"
work=$(cd "$work" && pwd)
shots=$work
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
. "$(dirname "$0")/../support/wait.sh"
. "$(dirname "$0")/../support/editor_drag.sh"
# The display comes from with-xvfb.sh, which CTest puts in front of this script.
if [ -z "${DISPLAY:-}" ] || ! timeout 2 xwininfo -root >/dev/null 2>&1; then
    echo "SKIP: no X display"
    exit $skip
fi
. "$(dirname "$0")/../../scripts/wineprefix.sh"
wine_prefix_ready
shot() { wine_window_shot "$editor" 900 258 "$shots/$1.png"; }

gesture() { # LOG INDEX
    grep -o -E "audioMaster(BeginEdit|EndEdit|Automate) index=$2( |\$).*" "$1" | tr -d '\r' |
        awk '/BeginEdit/ { printf " begin" } /EndEdit/ { printf " end" }
             /Automate/ { sub(/value=/, "", $3); printf " %s", $3 }'
}

# The tool runs until the test closes its window, as a user would, and then prints its report;
# its own limit only catches a test that hangs.
log=$work/editor.log
: >"$log"
mark=0
timeout 200 wine "$host" editor "$plugin" --seconds 180 --audio --log >"$log" 2>&1 &
tool_pid=$!
tool_ended() { ! kill -0 "$tool_pid" 2>/dev/null; }
if ! wait_editor "a mapped 900x258 editor window" find_wine_editor 900x258; then
    exit 1
fi
pass "the CLAP editor window is 900x258"
wait_picture open || fail "timed out after $wait_frame s waiting for the editor's first frame (see $shots/open.png)"
# Band 1's cap stands at y 131 for 0 dB; 10 pixels up is 0.6. Under Wine a line may end in a
# carriage return, so an index is closed by anything but a digit.
drag 166 131 'audioMasterBeginEdit index=0([^0-9]|$)' 'audioMasterEndEdit index=0([^0-9]|$)' 127 121
click 843 159 'audioMasterEndEdit index=10([^0-9]|$)' "the click on IN to end its edit"
timeout 60 wine taskkill /im "$(basename "$host")" >/dev/null 2>&1
wait_or_fail "$wait_event" "the tool to end after its window was closed" tool_ended ||
    kill "$tool_pid" 2>/dev/null
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
