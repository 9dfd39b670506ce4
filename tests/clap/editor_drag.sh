#!/usr/bin/env bash
# The editor through the CLAP gui interface: the host tool makes the plug-in's editor in an X
# window of its own and serves it from its run loop (the CLAP host's 20 ms timer and its watch
# on the editor's display connection). A real drag (xdotool) on a fader must reach the host as
# one gesture: begin, values, end, in that order; a click on IN as the bypass parameter's. Run
# with the tool's audio thread (edits arrive with blocks) and without (edits arrive by flush).
# Skips (exit 77) when a tool it needs is missing. It never sleeps for a guessed time: it waits
# on what it needs (the window mapped at its size, a settled picture, a log line), each with a
# deadline, and a deadline that passes names its condition.
#
# Usage: editor_drag.sh VSTHOST VLMTarvix.clap WORK_DIR
set -u
host=${1:?host tool}
plugin=${2:?CLAP plug-in}
work=${3:?work directory}
skip=77
for tool in Xvfb xdotool xwininfo xwd convert compare timeout awk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit $skip
    fi
done
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
shots=$work
failures=0
tool_pid=
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

. "$(dirname "$0")/../support/wait.sh"
. "$(dirname "$0")/../support/editor_drag.sh"
cleanup() {
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null
    xvfb_stop
}
trap cleanup EXIT
private_display "$work/xvfb.log"
shot() { window_shot "$editor" "$shots/$1.png"; }
stop_tool() {
    kill "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
    tool_pid=
}

# The host's record of one parameter's edits since the run began: " begin 0.600000 ... end".
gesture() { # LOG INDEX
    grep -o -E "audioMaster(BeginEdit|EndEdit|Automate) index=$2( |\$).*" "$1" |
        awk '/BeginEdit/ { printf " begin" } /EndEdit/ { printf " end" }
             /Automate/ { sub(/value=/, "", $3); printf " %s", $3 }'
}

for mode in audio flush; do
    log=$work/$mode.log
    : >"$log"
    mark=0
    extra=()
    [ $mode = audio ] && extra=(--audio)
    # The tool runs until the test ends it; its own limit only catches a test that hangs.
    timeout 120 "$host" editor "$plugin" --seconds 110 --log "${extra[@]}" >"$log" 2>&1 &
    tool_pid=$!
    if ! wait_editor "$mode: a mapped 900x258 editor in the tool's window" \
        find_child_editor "vsthost - " 900x258; then
        stop_tool
        continue
    fi
    pass "$mode: the CLAP editor is a 900x258 child of the tool's window"
    # Drawn before the pointer comes.
    wait_picture "$mode-open" ||
        fail "$mode: timed out after $wait_frame s waiting for the editor's first frame (see $mode-open.png)"
    # 10 pixels up on band 1 in two moves: 0.5 -> 0.6.
    drag 166 131 'audioMasterBeginEdit index=0( |$)' 'audioMasterEndEdit index=0( |$)' 127 121
    click 843 159 'audioMasterEndEdit index=10( |$)' "$mode: the click on IN to end its edit"
    got=$(gesture "$log" 0)
    if [[ "$got" =~ ^\ begin(\ [0-9.]+)*\ 0\.600000\ end$ ]]; then
        pass "$mode: the drag reached the host as one gesture:$got"
    else
        fail "$mode: the drag: expected ' begin ... 0.600000 end', got '$got'"
    fi
    got=$(gesture "$log" 10)
    [ "$got" = " begin 1.000000 end" ] && pass "$mode: the IN click is the bypass set to 1:$got" ||
        fail "$mode: the IN click: expected ' begin 1.000000 end', got '$got'"
    stop_tool
done
[ "$failures" -eq 0 ] || exit 1
