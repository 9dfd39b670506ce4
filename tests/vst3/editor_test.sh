#!/usr/bin/env bash
# The VST3 bundle's editor on a virtual X display, embedded by the host tool through the view
# interface and served by the run loop the tool's frame offers: it opens at 900 x 258 (1800 x 516
# at content scale 2), a drag on a fader reaches the host as an edit of that parameter, a click
# on the IN switch as an edit of the bypass, and the values end where the editor left them.
# Skips (exit 77) when a tool it needs is missing. It never sleeps for a guessed time: it waits
# on what it needs (the window mapped at its size, a settled picture, a log line), each with a
# deadline, and a deadline that passes names its condition.
#
# Usage: editor_test.sh VSTHOST BUNDLE WORK_DIR
set -u
host=${1:?host tool}
bundle=${2:?bundle}
work=${3:?work directory}
skip=77
for tool in Xvfb xdotool xwininfo xwd convert compare timeout awk; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "SKIP: $tool is not installed"
        exit $skip
    }
done
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
shots=$work
log=$work/editor.log
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
private_display "$work/xvfb.log" 2048x1536x24
shot() { window_shot "$editor" "$shots/$1.png"; }

# The tool runs until the test ends it (it prints its report on the way out); its own limit
# only catches a test that hangs.
start_tool() { # LOG ARGS...
    log=$1
    shift
    : >"$log"
    mark=0
    timeout 200 "$host" editor "$bundle" --seconds 180 "$@" >"$log" 2>&1 &
    tool_pid=$!
}
stop_tool() {
    kill -TERM "$tool_pid" 2>/dev/null
    wait "$tool_pid"
    status=$?
    tool_pid=
}

start_tool "$work/editor.log" --audio --log
if wait_editor "a mapped 900x258 editor in the tool's window" find_child_editor "vsthost - " 900x258; then
    pass "the editor is a 900x258 child of the tool's window"
    wait_picture open || fail "timed out after $wait_frame s waiting for the editor's first frame (see open.png)"
    # A drag 10 pixels up on band 1: 0.5 -> 0.6.
    drag 166 131 'audioMasterBeginEdit index=0( |$)' 'audioMasterEndEdit index=0( |$)' 127 121
    check_log "a drag begins an edit of band 1" 'audioMasterBeginEdit index=0'
    check_log "the drag reports 0.6 for band 1" 'audioMasterAutomate index=0 value=0\.600000'
    check_log "the release ends the edit" 'audioMasterEndEdit index=0'
    # The IN switch: out is the bypass on.
    click 843 159 'audioMasterAutomate index=10 ' "the click on IN to reach the host"
    check_log "a click on IN is an edit of the bypass to 1" 'audioMasterAutomate index=10 value=1\.000000'
fi
stop_tool
[ $status -eq 0 ] && pass "the tool ends normally" || fail "the tool ended with $status: $(tail -n 3 "$log")"
grep -q 'Parameter 0: .*value=0\.600000' "$log" && pass "band 1 ends at 0.6" ||
    fail "band 1 expected at 0.6 at the end: $(grep 'Parameter 0:' "$log")"
grep -q 'Parameter 10: .*value=1\.000000' "$log" && pass "the bypass ends on" ||
    fail "the bypass expected on at the end: $(grep 'Parameter 10:' "$log")"

start_tool "$work/scale.log" --scale 2
wait_editor "a mapped 1800x516 editor at content scale 2" find_child_editor "vsthost - " 1800x516 &&
    pass "at content scale 2 the editor is 1800x516"
stop_tool
grep -q "Editor size: 1800 x 516" "$work/scale.log" && pass "the tool's window followed" ||
    fail "the tool's window expected at 1800 x 516: $(grep 'Editor' "$work/scale.log")"

[ $failures -eq 0 ] || {
    echo "$failures failure(s)"
    exit 1
}
