#!/usr/bin/env bash
# The editor through the CLAP gui interface: the host tool makes the plug-in's editor in an X
# window of its own and serves it from its run loop (the CLAP host's 20 ms timer and its watch
# on the editor's display connection). A real drag (xdotool) on a fader must reach the host as
# one gesture: begin, values, end, in that order; a click on IN as the bypass parameter's. Run
# with the tool's audio thread (edits arrive with blocks) and without (edits arrive by flush).
# Skips (exit 77) when a tool it needs is missing; every wait has a time limit.
#
# Usage: editor_drag.sh VSTHOST VLMTarvix.clap WORK_DIR
set -u
host=${1:?host tool}
plugin=${2:?CLAP plug-in}
work=${3:?work directory}
skip=77
for tool in Xvfb xdotool xwininfo timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit $skip
    fi
done
rm -rf "$work"
mkdir -p "$work"
failures=0
tool_pid=
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

. "$(dirname "$0")/../../scripts/xvfb.sh"
cleanup() {
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null
    xvfb_stop
}
trap cleanup EXIT
if ! xvfb_start "$work/xvfb.log"; then
    echo "SKIP: no X display"
    exit $skip
fi
pointer() { timeout 10 xdotool "$@"; }

# The host's record of one parameter's edits since the run began: " begin 0.600000 ... end".
gesture() { # LOG INDEX
    grep -o -E "audioMaster(BeginEdit|EndEdit|Automate) index=$2( |\$).*" "$1" |
        awk '/BeginEdit/ { printf " begin" } /EndEdit/ { printf " end" }
             /Automate/ { sub(/value=/, "", $3); printf " %s", $3 }'
}

for mode in audio flush; do
    log=$work/$mode.log
    extra=()
    [ $mode = audio ] && extra=(--audio)
    timeout 120 "$host" editor "$plugin" --seconds 30 --log "${extra[@]}" >"$log" 2>&1 &
    tool_pid=$!
    editor=
    for _ in $(seq 100); do
        frame=$(xwininfo -root -children 2>/dev/null | awk '/"vsthost - / { print $1; exit }')
        [ -n "$frame" ] &&
            editor=$(xwininfo -id "$frame" -children 2>/dev/null |
                awk '/ 900x258\+/ { print $1; exit }')
        [ -n "$editor" ] && break
        sleep 0.1
    done
    if [ -z "$editor" ]; then
        fail "$mode: no 900x258 editor window appeared: $(tail -n 3 "$log")"
        kill "$tool_pid" 2>/dev/null
        wait "$tool_pid" 2>/dev/null
        tool_pid=
        continue
    fi
    pass "$mode: the CLAP editor is a 900x258 child of the tool's window"
    # Mapped and drawn before the pointer comes.
    for _ in $(seq 50); do
        xwininfo -id "$editor" 2>/dev/null | grep -q "IsViewable" && break
        sleep 0.1
    done
    sleep 1
    # 10 pixels up on band 1 in two moves: 0.5 -> 0.6.
    pointer mousemove 166 131
    sleep 0.2
    pointer mousedown 1
    sleep 0.2
    pointer mousemove 166 127
    sleep 0.2
    pointer mousemove 166 121
    sleep 0.3
    pointer mouseup 1
    sleep 0.3
    pointer mousemove 843 159
    sleep 0.2
    pointer click 1
    got=
    for _ in $(seq 25); do
        got=$(gesture "$log" 0)
        [[ "$got" == *end ]] && [[ "$(gesture "$log" 10)" == *end ]] && break
        sleep 0.2
    done
    if [[ "$got" =~ ^\ begin(\ [0-9.]+)*\ 0\.600000\ end$ ]]; then
        pass "$mode: the drag reached the host as one gesture:$got"
    else
        fail "$mode: the drag: expected ' begin ... 0.600000 end', got '$got'"
    fi
    got=$(gesture "$log" 10)
    [ "$got" = " begin 1.000000 end" ] && pass "$mode: the IN click is the bypass set to 1:$got" ||
        fail "$mode: the IN click: expected ' begin 1.000000 end', got '$got'"
    kill "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
    tool_pid=
done
[ "$failures" -eq 0 ] || exit 1
