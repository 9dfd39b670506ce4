#!/usr/bin/env bash
# The Linux plug-in's editor, natively on a virtual X display: the host tool opens it in a window
# of its own, real mouse and keyboard events (xdotool) drive it, and the host's log, the final
# values and screenshots are checked. Also: without DISPLAY the plug-in loads, processes and
# refuses the editor; the validator's editor tests pass; at --scale 2 the editor doubles its
# window and picture and still counts in the pixels of its 900 x 258 layout. Skips (exit 77) when
# a tool it needs is missing. The test never sleeps for a guessed time: it waits on what it needs
# (a window mapped, a settled picture, a log line, the pointer or focus where expected), each
# with a deadline, and a deadline that passes names its condition.
#
# Usage: editor_test.sh VSTHOST PLUGIN.so RESOURCE_DIR WORK_DIR
set -u

host=${1:?host tool}
plugin=${2:?plug-in}
art=${3:?resource directory}
work=${4:?work directory}
skip=77

for tool in Xvfb xdotool xwininfo xwd convert compare timeout awk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit $skip
    fi
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
shots=$work/shots
rm -rf "$shots"
mkdir -p "$shots"
log=$work/editor.log
failures=0
tool_pid=

pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# --- Without any display: loads, processes, refuses the editor --------------------------------
unset DISPLAY
timeout 60 "$host" editor "$plugin" --seconds 1 >"$work/nodisplay.log" 2>&1
status=$?
if [ $status -ne 0 ] && grep -q "effEditOpen answered 0" "$work/nodisplay.log"; then
    pass "without DISPLAY effEditOpen answers 0"
else
    fail "without DISPLAY expected effEditOpen to answer 0 (status $status): $(tail -n 2 "$work/nodisplay.log")"
fi
timeout 60 "$host" validate "$plugin" --only identity,audio --strictness 3 >"$work/nodisplay-validate.log" 2>&1
if grep -q "^pass .* audio " "$work/nodisplay-validate.log"; then
    pass "without DISPLAY the plug-in loads and processes audio"
else
    fail "without DISPLAY the plug-in did not process: $(tail -n 3 "$work/nodisplay-validate.log")"
fi

# --- The display ----------------------------------------------------------------------------
. "$(dirname "$0")/../../scripts/xvfb.sh"
cleanup() {
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null
    xvfb_stop
}
trap cleanup EXIT
# Wide enough for the editor at twice its size.
if ! XVFB_SCREEN=2048x1536x24 xvfb_start "$work/xvfb.log"; then
    echo "SKIP: no X display"
    exit $skip
fi

pointer() { timeout 10 xdotool "$@"; }

# find_editor SIZE: the editor, the SIZE (e.g. 900x258) child of the tool's window, once it is
# mapped; sets editor. With no window manager both sit at the screen's origin, so editor pixels
# are screen pixels.
find_editor() {
    local frame
    frame=$(xwininfo -root -children 2>/dev/null | awk '/"vsthost - / { print $1; exit }')
    [ -n "$frame" ] || return 1
    editor=$(xwininfo -id "$frame" -children 2>/dev/null | awk -v s=" $1+" 'index($0, s) { print $1; exit }')
    [ -n "$editor" ] && window_viewable "$editor"
}

shot() { window_shot "$editor" "$shots/$1.png"; }

. "$(dirname "$0")/../support/wait.sh"
. "$(dirname "$0")/../editor_pictures.sh"

# readout_shown SHOT: whether the read-out stands above band 1 as black text on a white box:
# most of its middle is white, and some of it is dark.
readout_shown() {
    local stats
    stats=$(convert "$shots/$1.png" -crop 60x10+136+20 +repage -colorspace gray \
        -format '%[fx:mean] %[fx:minima]' info:)
    awk -v s="$stats" 'BEGIN { split(s, v, " "); exit !(v[1] > 0.5 && v[2] < 0.3) }'
}
readout_gone() { ! readout_shown "$1"; }

# wheel_gesture ID: the edits of parameter ID since the mark, as "begin V1 V2 ... end".
wheel_gesture() {
    since_mark | grep -o -E "audioMaster(BeginEdit|EndEdit|Automate) index=$1( |\$).*" |
        awk '/BeginEdit/ { printf " begin" } /EndEdit/ { printf " end" }
             /Automate/ { sub(/value=/, "", $3); printf " %s", $3 }' | sed 's/^ //'
}

# check_wheel_burst ID UP DOWN COUNT: since the mark, one begin and one end of parameter ID
# around COUNT automations alternating between UP and DOWN.
check_wheel_burst() {
    local want got i
    want="begin"
    for i in $(seq "$4"); do
        [ $((i % 2)) -eq 1 ] && want="$want $2" || want="$want $3"
    done
    want="$want end"
    gesture_is() { got=$(wheel_gesture "$1"); [ "$got" = "$want" ]; }
    wait_until "$wait_event" gesture_is "$1" && pass "a wheel burst over parameter $1 is one gesture: $want" ||
        fail "a wheel burst over parameter $1: expected '$want', got '$got' (waited $wait_event s)"
}

# check_readout_while_wheeling SHOT ID: a shot taken while the wheel gesture over parameter ID
# lasts shows the read-out; shots are taken until one does or the gesture has ended (or has not
# ended after $wait_event s).
check_readout_while_wheeling() {
    local seen=no ended=no end=$(($(now_ms) + wait_event * 1000))
    until [ $ended = yes ] || [ "$(now_ms)" -ge "$end" ]; do
        # The gesture's end is read before the shot, so a shot that misses it was taken after.
        log_has "audioMasterEndEdit index=$2( |\$)" && ended=yes
        shot "$1"
        readout_shown "$1" && seen=yes && break
    done
    [ $seen = yes ] && pass "the read-out shows above band $(($2 + 1)) while the wheel turns" ||
        fail "expected the read-out above band $(($2 + 1)) while the wheel turns; the gesture ended before a shot showed it (see $1.png)"
}

pointer_at() { pointer getmouselocation | sed -n 's/^x:\([0-9]*\) y:\([0-9]*\).*/\1 \2/p'; }
pointer_is() { [ "$(pointer_at)" = "$1 $2" ]; }
focus_is() { [ "$(pointer getwindowfocus 2>/dev/null)" = "$1" ]; }
focus_is_not() { ! focus_is "$1"; }

# press X Y ID: the left button goes down at X Y over the fader of parameter ID, and the editor
# has taken the press (the edit began) before the test goes on: the editor notes where the
# pointer was when it handles the press, so a move sent before that would count from elsewhere.
press() {
    pointer mousemove "$1" "$2"
    pointer mousedown 1
    wait_or_fail "$wait_event" "the press at $1,$2 to begin an edit of parameter $3" \
        log_has "audioMasterBeginEdit index=$3( |\$)"
}

# release X Y ID: the left button goes up after a drag that began at X Y on parameter ID, and the
# editor has handled it (the edit ended, the pointer is back at X Y) before the test goes on: a
# move sent before the editor puts the pointer back would be undone by it.
release() {
    pointer mouseup 1
    wait_or_fail "$wait_event" "the release to end the edit of parameter $3" \
        log_has "audioMasterEndEdit index=$3( |\$)" &&
        wait_or_fail "$wait_event" "the pointer to come back to $1,$2 after the drag" pointer_is "$1" "$2"
}

# entry_selected SHOT X Y W H: the region shows the entry's selected text: a tenth of it at
# least is the selection's blue.
entry_selected() {
    convert "$shots/$1.png" -crop "${4}x${5}+$2+$3" +repage "$work/entry.png"
    awk -v s="$(selection_share "$work/entry.png")" 'BEGIN { exit !(s > 0.1) }'
}

# stop_tool: ends the tool (it prints its report on the way out) and waits for it.
stop_tool() {
    kill -TERM "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
    tool_pid=
}

# --- The editor through the host tool -------------------------------------------------------
# The tool runs until the test ends it; its own limit only catches a test that hangs.
: >"$log"
timeout 280 "$host" editor "$plugin" --seconds 270 --audio --log >"$log" 2>&1 &
tool_pid=$!
editor=
if ! wait_until "$wait_window" find_editor 900x258; then
    fail "timed out after $wait_window s waiting for a mapped 900x258 editor window: $(tail -n 3 "$log")"
    exit 1
fi
pass "the editor is a 900x258 child of the tool's window ($editor)"
wait_picture 1-open || fail "timed out after $wait_frame s waiting for the editor's first frame (see 1-open.png)"
for band in $(seq 0 9); do
    check_cap 1-open "$band" 0.5
done
check_frame 1-open "IN button" 813 129 60 button.png 2 1
check_frame 1-open "IN lamp while processing" 815 50 50 lamp.png 2 1

# A drag 10 pixels up on band 1: 0.5 -> 0.6; the pointer comes back where the press was.
mark_log
press 166 131 0
pointer mousemove 166 127
pointer mousemove 166 121
shot 2-dragging
look_again 2-dragging "$wait_event" readout_shown 2-dragging &&
    pass "the read-out shows its text above band 1 while dragging" ||
    fail "expected black read-out text on white above band 1 while dragging, none after $wait_event s (see 2-dragging.png)"
pointer mouseup 1
check_log "a drag begins an edit of band 1" 'audioMasterBeginEdit index=0'
check_log "the drag reports 0.6 for band 1" 'audioMasterAutomate index=0 value=0\.600000'
check_log "the release ends the edit" 'audioMasterEndEdit index=0'
wait_until "$wait_event" pointer_is 166 131 &&
    pass "the pointer is back at the press point after the drag" ||
    fail "the pointer expected back at 166 131 after the drag, is at $(pointer_at) after $wait_event s"
shot 3-dragged
check_cap 3-dragged 0 0.6
look_again 3-dragged "$wait_event" readout_gone 3-dragged &&
    pass "the read-out is gone after the release" ||
    fail "the read-out still shows $wait_event s after the release (see 3-dragged.png)"

# A drag that leaves the window keeps the fader: 200 pixels down on band 3 ends at the bottom.
mark_log
press 294 131 2
pointer mousemove 294 200
pointer mousemove 294 331
release 294 131 2
check_log "a drag below the window takes band 3 to 0" 'audioMasterAutomate index=2 value=0\.000000'
check_log "and ends its edit" 'audioMasterEndEdit index=2'

# A Shift-drag 50 pixels up on band 2 moves in fine steps: 0.5 -> 0.6.
mark_log
pointer mousemove 230 131
pointer keydown Shift_L
press 230 131 1
pointer mousemove 230 106
pointer mousemove 230 81
release 230 131 1
pointer keyup Shift_L
check_log "a Shift-drag of 50 pixels reports 0.6 for band 2" 'audioMasterAutomate index=1 value=0\.600000'
shot 4-fine
check_cap 4-fine 1 0.6

# Control-click resets band 1 to its default.
mark_log
pointer mousemove 166 131
pointer keydown Control_L
pointer click 1
pointer keyup Control_L
check_log "a Control-click sets band 1 back to 0.5" 'audioMasterAutomate index=0 value=0\.500000'
shot 5-reset
check_cap 5-reset 0 0.5

# The wheel over band 1: notches up and down in one burst are one gesture of 0.5 dB steps, with
# the read-out shown, ended once the wheel rests.
mark_log
pointer mousemove 166 131
wheel_burst
check_readout_while_wheeling 6-wheel 0
wait "$wheel_pid"
check_wheel_burst 0 0.520833 0.500000 10
shot 6-wheeled
look_again 6-wheeled "$wait_event" readout_gone 6-wheeled &&
    pass "the read-out is gone once the wheel rests" ||
    fail "the read-out still shows $wait_event s after the wheel rested (see 6-wheeled.png)"

# Double click on band 4: the entry opens with the read-out selected; 'a' is refused, 3 and
# Enter give +3 dB, 0.625, and the keyboard focus goes back.
focus_before=$(pointer getwindowfocus 2>/dev/null)
mark_log
pointer mousemove 359 131
pointer click --repeat 2 --delay 80 1
shot 7-entry
look_again 7-entry "$wait_event" entry_selected 7-entry 334 14 50 15 &&
    pass "the entry opens over band 4 with its text selected" ||
    fail "expected the entry's selected text above band 4, none after $wait_event s (see 7-entry.png)"
wait_until "$wait_event" focus_is_not "$focus_before" &&
    pass "the entry has the keyboard focus" ||
    fail "the entry did not take the keyboard focus within $wait_event s"
pointer type 'a3'
pointer key Return
check_log "typing a, 3 and Enter sets band 4 to 0.625" 'audioMasterAutomate index=3 value=0\.625000'
wait_until "$wait_event" focus_is "$focus_before" &&
    pass "the keyboard focus is back after Enter" ||
    fail "the keyboard focus did not come back within $wait_event s"
shot 8-typed
check_cap 8-typed 3 0.625

# A press elsewhere closes the entry without applying what was typed. The click on IN that
# follows marks that the press was handled: once the button shows the click, whatever the press
# did has been logged.
mark_log
pointer mousemove 424 131
pointer click --repeat 2 --delay 80 1
wait_or_fail "$wait_event" "the entry over band 5 to take the keyboard focus" \
    focus_is_not "$focus_before"
pointer key 9
pointer mousemove 50 200 click 1

# A click on IN switches the equaliser out; the next blocks darken the lamp.
pointer mousemove 843 159
pointer click 1
shot 9-bypassed
check_frame 9-bypassed "IN button after the click" 813 129 60 button.png 2 0
check_frame 9-bypassed "IN lamp after the click" 815 50 50 lamp.png 2 0
since_mark | grep -q 'audioMasterAutomate index=4 ' &&
    fail "a press elsewhere applied the entry: $(since_mark | grep 'index=4' | tr '\n' ';')" ||
    pass "a press elsewhere closes the entry without applying"

stop_tool
editor_left() { xwininfo -root -tree 2>/dev/null | grep -q " 900x258+"; }
editor_gone() { ! editor_left; }
wait_until "$wait_event" editor_gone
if editor_left; then
    fail "an editor window is left $wait_event s after the tool closed the editor"
else
    pass "the editor's window is gone after close"
fi
grep -q 'Parameter 0: .*value=0.500000' "$log" && grep -q 'Parameter 1: .*value=0.600000' "$log" &&
    grep -q 'Parameter 2: .*value=0.000000' "$log" && grep -q 'Parameter 3: .*value=0.625000' "$log" &&
    grep -q 'Parameter 4: .*value=0.500000' "$log" && grep -q 'id=10 value=0.000000' "$log" &&
    pass "final values: bands 1-5 0.5 0.6 0 0.625 0.5, IN off" ||
    fail "final values: $(grep -E 'Parameter [0-4]:|id=10 ' "$log" | tr '\n' ';')"

# Close and reopen, two editors at once, a drag and processing meanwhile: the validator.
timeout 200 "$host" validate "$plugin" --strictness 10 \
    --only editor,editor-processing,editor-automation,editor-stress >"$work/validate.log" 2>&1
if grep -q "Totals: pass 4, fail 0, skip 0" "$work/validate.log"; then
    pass "the validator's four editor tests pass"
else
    fail "the validator's editor tests: $(grep -v '^pass' "$work/validate.log" | tr '\n' ';')"
fi

# --- At twice the size ------------------------------------------------------------------------
# The window is 1800x516, its picture halved is the 1x picture (the 2x art is finer, so they
# differ a little), and a drag of 20 window pixels is 10 layout pixels: 0.5 -> 0.6.
: >"$log"
mark=0
timeout 280 "$host" editor "$plugin" --seconds 270 --audio --log --scale 2 >"$log" 2>&1 &
tool_pid=$!
editor=
if ! wait_until "$wait_window" find_editor 1800x516; then
    fail "timed out after $wait_window s waiting for a mapped 1800x516 editor window at --scale 2: $(tail -n 3 "$log")"
else
    pass "at --scale 2 the editor is a 1800x516 child of the tool's window"
    wait_picture 11-scale2 ||
        fail "timed out after $wait_frame s waiting for the first frame at --scale 2 (see 11-scale2.png)"
    difference=
    halved_is_1x() {
        convert "$shots/11-scale2.png" -resize 50% "$work/half.png"
        difference=$(compare -metric RMSE "$work/half.png" "$shots/1-open.png" null: 2>&1 |
            sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
        awk -v d="$difference" 'BEGIN { exit !(d != "" && d < 0.05) }'
    }
    look_again 11-scale2 "$wait_event" halved_is_1x &&
        pass "the 2x picture halved is the 1x picture (RMSE $difference)" ||
        fail "the 2x picture halved differs from the 1x picture: RMSE '$difference' after $wait_event s (see 11-scale2.png)"
    mark_log
    press 332 262 0
    pointer mousemove 332 252
    pointer mousemove 332 242
    release 332 262 0
    check_log "a 20-pixel drag at 2x reports 0.6 for band 1" 'audioMasterAutomate index=0 value=0\.600000'
    mark_log
    pointer mousemove 460 262
    wheel_burst
    # A picture of the wheel at work, for whoever reads the screenshots.
    wait_until "$wait_event" log_has 'audioMasterBeginEdit index=1( |$)' && shot 12-scale2-wheel
    wait "$wheel_pid"
    check_wheel_burst 1 0.520833 0.500000 10
    focus_before=$(pointer getwindowfocus 2>/dev/null)
    mark_log
    pointer mousemove 718 262
    pointer click --repeat 2 --delay 80 1
    shot 12-scale2-entry
    look_again 12-scale2-entry "$wait_event" entry_selected 12-scale2-entry 668 28 100 30 &&
        pass "the entry opens at twice its place and size above band 4" ||
        fail "expected the entry's selected text at 668,28 100x30, none after $wait_event s (see 12-scale2-entry.png)"
    wait_or_fail "$wait_event" "the entry at 2x to take the keyboard focus" focus_is_not "$focus_before"
    pointer type '3'
    pointer key Return
    check_log "typing 3 and Enter at 2x sets band 4 to 0.625" 'audioMasterAutomate index=3 value=0\.625000'
    stop_tool
fi
check_validator_at_scale2 "$work/validate-scale2.log" "$host"
# Without a host's request the system's factor counts: here GDK_SCALE, as the server has no Xft.dpi.
GDK_SCALE=1.5 timeout 60 "$host" editor "$plugin" --seconds 2 >"$work/gdkscale.log" 2>&1
grep -q "Editor size: 1350 x 387" "$work/gdkscale.log" &&
    pass "with GDK_SCALE=1.5 the editor is 1350 x 387" ||
    fail "with GDK_SCALE=1.5 expected a 1350 x 387 editor: $(tail -n 3 "$work/gdkscale.log" | tr '\n' ';')"

# A server without OpenGL: the Windows message in an error box titled with the caption, which
# Return closes; then the message on standard error, and no editor.
xvfb_stop
if XVFB_EXTRA_ARGS="-extension GLX" xvfb_start "$work/xvfb-noglx.log"; then
    timeout 120 "$host" editor "$plugin" --seconds 1 >"$work/noglx.log" 2>&1 &
    tool_pid=$!
    box=
    find_box() {
        box=$(xdotool search --name '^VLM Tarvix 1\.0\.0$' 2>/dev/null | head -n 1)
        [ -n "$box" ] && window_viewable "$box"
    }
    if wait_until "$wait_window" find_box; then
        # A picture of the box, for whoever reads the screenshots.
        editor=$box
        wait_picture 10-noglx-error
        pointer key --window "$box" Return
    else
        box=
    fi
    wait "$tool_pid"
    tool_pid=
    if [ -n "$box" ] && grep -q "OPENGL ERROR" "$work/noglx.log" &&
        grep -q "Function: SetPixelFormat()" "$work/noglx.log" &&
        grep -q "effEditOpen answered 0" "$work/noglx.log"; then
        pass "without GLX: an error box that Return closes, the OpenGL error on standard error, effEditOpen 0"
    else
        fail "without GLX expected the error box (found '$box'), the SetPixelFormat error and effEditOpen 0: $(head -n 5 "$work/noglx.log" | tr '\n' ';')"
    fi
fi

echo "Screenshots: $shots"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the tool's log is $log"
    exit 1
fi
echo "All Linux editor checks passed"
