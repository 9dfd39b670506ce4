#!/usr/bin/env bash
# The LV2 UI in an X window of a small host of our own (lv2_ui_host), on a virtual X display,
# driven with real mouse events (xdotool) and checked on the host's log and on screenshots: the
# host's window is sized through ui:resize, a fader drag is a port write framed by touch, a
# click on IN writes the enabled port, a value the host sets moves the fader without being
# written back, and the host's ui:scaleFactor sizes the editor. Skips (exit 77) when a tool it
# needs is missing. It never sleeps for a guessed time: it waits on what it needs (the window
# mapped at its size, a settled picture, a log line), each with a deadline, and a deadline that
# passes names its condition.
# Usage: ui_test.sh LV2_UI_HOST BUNDLE_DIR RESOURCE_DIR WORK_DIR
set -u
uihost=${1:?UI host}
bundle=${2:?LV2 bundle}
art=${3:?resource directory}
work=${4:?work directory}

for tool in Xvfb xdotool xwininfo xwd convert compare timeout awk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
rm -rf "$work"
mkdir -p "$work/shots"
work=$(cd "$work" && pwd)
shots=$work/shots
log=$work/host.log
failures=0
host_pid=
pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

. "$(dirname "$0")/../support/wait.sh"
. "$(dirname "$0")/../support/editor_drag.sh"
. "$(dirname "$0")/../editor_pictures.sh"
cleanup() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    exec 3>&- 2>/dev/null
    xvfb_stop
}
trap cleanup EXIT
# Wide enough for the editor at twice its size.
private_display "$work/xvfb.log" 2048x1536x24
shot() { window_shot "$editor" "$shots/$1.png"; }

# The host reads its commands from a FIFO held open here, so that it never sees end of input.
mkfifo "$work/commands"
exec 3<>"$work/commands"
: >"$log"
timeout 150 "$uihost" "$bundle" <"$work/commands" >"$log" 2>&1 &
host_pid=$!
if ! wait_until "$wait_window" log_has '^ready'; then
    fail "timed out after $wait_window s waiting for the UI to open: $(tail -n 3 "$log")"
    exit 1
fi
grep -q "^resize 900 258$" "$log" && pass "the UI asks the host for 900 x 258 through ui:resize" ||
    fail "expected 'resize 900 258' in the host's log: $(head -n 3 "$log")"
grep -q "^widget is the editor" "$log" && pass "the UI's widget is the editor's X window" ||
    fail "the UI's widget: $(grep '^widget' "$log")"
wait_editor "a mapped 900x258 editor in the host's window" find_child_editor "lv2 ui host" 900x258 ||
    exit 1
size=
frame_sized() {
    size=$(xwininfo -id "$(xwininfo -root -children | awk '/"lv2 ui host"/ { print $1; exit }')" |
        awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
    [ "$size" = 900x258 ]
}
wait_until "$wait_event" frame_sized && pass "the host's window was resized to the editor" ||
    fail "the host's window is $size after $wait_event s, expected 900x258"
wait_picture 0-open || fail "timed out after $wait_frame s waiting for the editor's first frame (see 0-open.png)"

# A drag 10 pixels up on band 1: 0.5 -> 0.6, a port write of +2.4 dB framed by touch.
mark_log
drag 166 131 '^touch port=0 grabbed=1' '^touch port=0 grabbed=0' 127 121
got=$(since_mark | grep -E '^(touch|write)' | sed -E 's/^write port=0 value=.*/write/' | uniq |
    tr '\n' ' ')
[ "$got" = "touch port=0 grabbed=1 write touch port=0 grabbed=0 " ] &&
    pass "a drag on band 1 is touch begin, port writes, touch end" ||
    fail "a drag on band 1: expected touch begin, writes, touch end; came: $got"
since_mark | grep -q -E '^write port=0 value=2\.40000' &&
    pass "the drag writes +2.4 dB to band_31hz" ||
    fail "expected a write of 2.4 dB to port 0: $(since_mark | grep '^write' | tail -n 1)"
since_mark | grep -q -E '^write port=[1-9]' &&
    fail "the drag wrote other ports: $(since_mark | grep -E '^write port=[1-9]' | head -n 1)"
shot 1-dragged
check_cap 1-dragged 0 0.6

# The host sets band 3 to +6 dB: the fader moves, and nothing is written back. The UI redraws in
# its idle call, where a write-back would come from too; a picture that has shown the moved cap
# and then settled has been through several of those.
mark_log
echo "set 2 6" >&3
wait_or_fail "$wait_event" "the host to set port 2" log_has '^set port=2'
shot 2-host-set
check_cap 2-host-set 2 0.75
wait_picture 2-host-set-settled ||
    fail "timed out after $wait_frame s waiting for the picture to settle after the host's change"
since_mark | grep -q -E '^(write|touch)' &&
    fail "the host's own change came back: $(since_mark | grep -E '^(write|touch)' | head -n 1)" ||
    pass "the host's own change is not written back"

# A click on IN: the enabled port goes to 0, framed by touch.
mark_log
click 843 159 '^touch port=10 grabbed=0' "the click on IN to end its touch"
got=$(since_mark | grep -E '^(touch|write)' | tr '\n' ' ')
[ "$got" = "touch port=10 grabbed=1 write port=10 value=0.000000 touch port=10 grabbed=0 " ] &&
    pass "a click on IN writes 0 to the enabled port, framed by touch" ||
    fail "a click on IN: came: $got"

echo quit >&3
wait "$host_pid"
status=$?
host_pid=
[ $status -eq 0 ] && grep -q "^closed" "$log" && pass "the UI and the plug-in close cleanly" ||
    fail "the host ended with status $status: $(tail -n 3 "$log")"
grep -q "^port 0 = 2\.40000" "$log" && grep -q "^port 10 = 0\.000000" "$log" &&
    pass "the plug-in's ports hold the UI's edits" ||
    fail "the ports at the end: $(grep '^port' "$log" | tr '\n' ' ')"
# The host's ui:scaleFactor of 2: the editor opens at twice its size and says so through
# ui:resize.
: >"$log"
mark=0
timeout 120 "$uihost" "$bundle" --scale 2 <"$work/commands" >"$log" 2>&1 &
host_pid=$!
if wait_until "$wait_window" log_has '^ready'; then
    grep -q "^resize 1800 516$" "$log" && pass "at ui:scaleFactor 2 the UI asks for 1800 x 516" ||
        fail "at ui:scaleFactor 2 expected 'resize 1800 516': $(grep '^resize' "$log")"
    wait_editor "a mapped 1800x516 editor at ui:scaleFactor 2" find_child_editor "lv2 ui host" 1800x516 &&
        pass "the editor's window is 1800 x 516"
else
    fail "timed out after $wait_window s waiting for the UI to open at ui:scaleFactor 2: $(tail -n 3 "$log")"
fi
echo quit >&3
wait "$host_pid"
host_pid=
echo "$failures failure(s)"
[ $failures -eq 0 ]
