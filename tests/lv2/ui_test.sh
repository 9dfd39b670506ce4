#!/usr/bin/env bash
# The LV2 UI in an X window of a small host of our own (lv2_ui_host), on a virtual X display,
# driven with real mouse events (xdotool) and checked on the host's log and on screenshots: the
# host's window is sized through ui:resize, a fader drag is a port write framed by touch, a
# click on IN writes the enabled port, a value the host sets moves the fader without being
# written back, and the host's ui:scaleFactor sizes the editor. Skips (exit 77) when a tool it
# needs is missing; every wait has a time limit.
# Usage: ui_test.sh LV2_UI_HOST BUNDLE_DIR RESOURCE_DIR WORK_DIR
set -u
uihost=${1:?UI host}
bundle=${2:?LV2 bundle}
art=${3:?resource directory}
work=${4:?work directory}

for tool in Xvfb xdotool xwininfo import convert timeout awk; do
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

. "$(dirname "$0")/../../scripts/xvfb.sh"
cleanup() {
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    exec 3>&- 2>/dev/null
    xvfb_stop
}
trap cleanup EXIT
# Wide enough for the editor at twice its size.
if ! XVFB_SCREEN=2048x1536x24 xvfb_start "$work/xvfb.log"; then
    echo "SKIP: no X display"
    exit 77
fi
pointer() { timeout 10 xdotool "$@"; }
shot() { timeout 20 import -window "$editor" "$shots/$1.png" 2>/dev/null; }
. "$(dirname "$0")/../editor_pictures.sh"

mark=0
mark_log() { mark=$(wc -l <"$log"); }
since_mark() { tail -n +$((mark + 1)) "$log"; }
wait_log() { # REGEX: true once a line since the mark matches
    local _
    for _ in $(seq 50); do
        since_mark | grep -q -E "$1" && return 0
        sleep 0.1
    done
    return 1
}

# The host reads its commands from a FIFO held open here, so that it never sees end of input.
mkfifo "$work/commands"
exec 3<>"$work/commands"
timeout 150 "$uihost" "$bundle" <"$work/commands" >"$log" 2>&1 &
host_pid=$!
if ! wait_log '^ready'; then
    fail "the UI did not open: $(tail -n 3 "$log")"
    exit 1
fi
grep -q "^resize 900 258$" "$log" && pass "the UI asks the host for 900 x 258 through ui:resize" ||
    fail "expected 'resize 900 258' in the host's log: $(head -n 3 "$log")"
grep -q "^widget is the editor" "$log" && pass "the UI's widget is the editor's X window" ||
    fail "the UI's widget: $(grep '^widget' "$log")"
frame=$(xwininfo -root -children | awk '/"lv2 ui host"/ { print $1; exit }')
editor=$(xwininfo -id "$frame" -children 2>/dev/null | awk '/ 900x258\+/ { print $1; exit }')
if [ -z "$editor" ]; then
    fail "no 900x258 editor in the host's window"
    exit 1
fi
size=$(xwininfo -id "$frame" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
[ "$size" = 900x258 ] && pass "the host's window was resized to the editor" ||
    fail "the host's window is $size, expected 900x258"
sleep 0.5

# A drag 10 pixels up on band 1: 0.5 -> 0.6, a port write of +2.4 dB framed by touch.
mark_log
pointer mousemove 166 131
sleep 0.2
pointer mousedown 1
sleep 0.2
pointer mousemove 166 127
sleep 0.2
pointer mousemove 166 121
sleep 0.3
pointer mouseup 1
wait_log '^touch port=0 grabbed=0'
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

# The host sets band 3 to +6 dB: the fader moves, and nothing is written back.
mark_log
echo "set 2 6" >&3
wait_log '^set port=2'
sleep 0.5
shot 2-host-set
check_cap 2-host-set 2 0.75
sleep 0.5
since_mark | grep -q -E '^(write|touch)' &&
    fail "the host's own change came back: $(since_mark | grep -E '^(write|touch)' | head -n 1)" ||
    pass "the host's own change is not written back"

# A click on IN: the enabled port goes to 0, framed by touch.
mark_log
pointer mousemove 843 159
sleep 0.2
pointer click 1
wait_log '^touch port=10 grabbed=0'
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
timeout 60 "$uihost" "$bundle" --scale 2 <"$work/commands" >"$log" 2>&1 &
host_pid=$!
if wait_log '^ready'; then
    grep -q "^resize 1800 516$" "$log" && pass "at ui:scaleFactor 2 the UI asks for 1800 x 516" ||
        fail "at ui:scaleFactor 2 expected 'resize 1800 516': $(grep '^resize' "$log")"
    xwininfo -root -tree | grep -q " 1800x516+" && pass "the editor's window is 1800 x 516" ||
        fail "no 1800x516 editor window at ui:scaleFactor 2"
else
    fail "the UI did not open at ui:scaleFactor 2: $(tail -n 3 "$log")"
fi
echo quit >&3
wait "$host_pid"
host_pid=
echo "$failures failure(s)"
[ $failures -eq 0 ]
