#!/usr/bin/env bash
# The VST3 bundle's editor on a virtual X display, embedded by the host tool through the view
# interface and served by the run loop the tool's frame offers: it opens at 900 x 258 (1800 x 516
# at content scale 2), a drag on a fader reaches the host as an edit of that parameter, a click
# on the IN switch as an edit of the bypass, and the values end where the editor left them.
# Skips (exit 77) when a tool it needs is missing; every wait has a time limit.
#
# Usage: editor_test.sh VSTHOST BUNDLE WORK_DIR
set -u
host=${1:?host tool}
bundle=${2:?bundle}
work=${3:?work directory}
skip=77
for tool in Xvfb xdotool xwininfo timeout; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "SKIP: $tool is not installed"
        exit $skip
    }
done
rm -rf "$work"
mkdir -p "$work"
log=$work/editor.log
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
if ! XVFB_SCREEN=2048x1536x24 xvfb_start "$work/xvfb.log"; then
    echo "SKIP: no X display"
    exit $skip
fi
pointer() { timeout 10 xdotool "$@"; }

# find_editor SIZE: the editor, a child of the tool's window (at the screen's origin).
find_editor() {
    local frame
    frame=$(xwininfo -root -children 2>/dev/null | awk '/"vsthost - / { print $1; exit }')
    [ -n "$frame" ] || return 1
    editor=$(xwininfo -id "$frame" -children 2>/dev/null | awk -v s=" $1+" 'index($0, s) { print $1; exit }')
    [ -n "$editor" ]
}
wait_editor() {
    editor=
    for _ in $(seq 100); do
        find_editor "$1" && return 0
        sleep 0.1
    done
    return 1
}
check_log() { # DESCRIPTION REGEX
    for _ in $(seq 25); do
        grep -q -E "$2" "$log" && {
            pass "$1"
            return
        }
        sleep 0.2
    done
    fail "$1: expected a log line matching '$2'"
}

timeout 120 "$host" editor "$bundle" --seconds 8 --audio --log >"$log" 2>&1 &
tool_pid=$!
if wait_editor 900x258; then
    pass "the editor is a 900x258 child of the tool's window"
    sleep 1
    # A drag 10 pixels up on band 1: 0.5 -> 0.6.
    pointer mousemove 166 131
    sleep 0.2
    pointer mousedown 1
    sleep 0.2
    pointer mousemove 166 127
    sleep 0.1
    pointer mousemove 166 121
    sleep 0.4
    pointer mouseup 1
    check_log "a drag begins an edit of band 1" 'audioMasterBeginEdit index=0'
    check_log "the drag reports 0.6 for band 1" 'audioMasterAutomate index=0 value=0\.600000'
    check_log "the release ends the edit" 'audioMasterEndEdit index=0'
    # The IN switch: out is the bypass on.
    pointer mousemove 843 159
    sleep 0.2
    pointer click 1
    check_log "a click on IN is an edit of the bypass to 1" 'audioMasterAutomate index=10 value=1\.000000'
else
    fail "no 900x258 editor appeared: $(tail -n 3 "$log")"
fi
wait "$tool_pid"
status=$?
tool_pid=
[ $status -eq 0 ] && pass "the tool ends normally" || fail "the tool ended with $status: $(tail -n 3 "$log")"
grep -q 'Parameter 0: .*value=0\.600000' "$log" && pass "band 1 ends at 0.6" ||
    fail "band 1 expected at 0.6 at the end: $(grep 'Parameter 0:' "$log")"
grep -q 'Parameter 10: .*value=1\.000000' "$log" && pass "the bypass ends on" ||
    fail "the bypass expected on at the end: $(grep 'Parameter 10:' "$log")"

timeout 60 "$host" editor "$bundle" --seconds 3 --scale 2 >"$work/scale.log" 2>&1 &
tool_pid=$!
wait_editor 1800x516 && pass "at content scale 2 the editor is 1800x516" ||
    fail "no 1800x516 editor at scale 2: $(tail -n 3 "$work/scale.log")"
wait "$tool_pid"
tool_pid=
grep -q "Editor size: 1800 x 516" "$work/scale.log" && pass "the tool's window followed" ||
    fail "the tool's window expected at 1800 x 516: $(grep 'Editor' "$work/scale.log")"

[ $failures -eq 0 ] || {
    echo "$failures failure(s)"
    exit 1
}
