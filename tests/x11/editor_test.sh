#!/usr/bin/env bash
# The Linux plug-in's editor, natively on a virtual X display: the host tool opens it in a window
# of its own, real mouse and keyboard events (xdotool) drive it, and the host's log, the final
# values and screenshots are checked. Also: without DISPLAY the plug-in loads, processes and
# refuses the editor; the validator's editor tests pass; at --scale 2 the editor doubles its
# window and picture and still counts in the pixels of its 900 x 258 layout. Skips (exit 77) when a tool it needs is
# missing; every wait has a time limit.
#
# Usage: editor_test.sh VSTHOST PLUGIN.so RESOURCE_DIR WORK_DIR
set -u

host=${1:?host tool}
plugin=${2:?plug-in}
art=${3:?resource directory}
work=${4:?work directory}
skip=77

for tool in Xvfb xdotool xwininfo import convert compare timeout awk; do
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

# The editor is the 900x258 child of the tool's window; with no window manager both sit at the
# screen's origin, so editor pixels are screen pixels.
find_editor() {
    local frame
    frame=$(xwininfo -root -children 2>/dev/null | awk '/"vsthost - / { print $1; exit }')
    [ -n "$frame" ] || return 1
    editor=$(xwininfo -id "$frame" -children 2>/dev/null | awk '/ 900x258\+/ { print $1; exit }')
    [ -n "$editor" ]
}

shot() { timeout 20 import -window "$editor" "$shots/$1.png" 2>/dev/null; }

. "$(dirname "$0")/../editor_pictures.sh"

# log lines since the last mark
mark=0
mark_log() { mark=$(wc -l <"$log"); }
since_mark() { tail -n +$((mark + 1)) "$log"; }
check_log() { # DESCRIPTION REGEX
    local _
    for _ in $(seq 25); do
        if since_mark | grep -q -E "$2"; then
            pass "$1"
            return
        fi
        sleep 0.2
    done
    fail "$1: expected a log line matching '$2'"
}

# readout_shown SHOT: whether the read-out stands above band 1 as black text on a white box:
# most of its middle is white, and some of it is dark.
readout_shown() {
    local stats
    stats=$(convert "$shots/$1.png" -crop 60x10+136+20 +repage -colorspace gray \
        -format '%[fx:mean] %[fx:minima]' info:)
    awk -v s="$stats" 'BEGIN { split(s, v, " "); exit !(v[1] > 0.5 && v[2] < 0.3) }'
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
    for _ in $(seq 25); do
        got=$(since_mark | grep -o -E "audioMaster(BeginEdit|EndEdit|Automate) index=$1( |\$).*" |
            awk '/BeginEdit/ { printf " begin" } /EndEdit/ { printf " end" }
                 /Automate/ { sub(/value=/, "", $3); printf " %s", $3 }')
        [ "${got# }" = "$want" ] && break
        sleep 0.2
    done
    [ "${got# }" = "$want" ] && pass "a wheel burst over parameter $1 is one gesture: $want" ||
        fail "a wheel burst over parameter $1: expected '$want', got '${got# }'"
}

pointer_at() { pointer getmouselocation | sed -n 's/^x:\([0-9]*\) y:\([0-9]*\).*/\1 \2/p'; }

# --- The editor through the host tool -------------------------------------------------------
: >"$log"
timeout 120 "$host" editor "$plugin" --seconds 60 --audio --log >"$log" 2>&1 &
tool_pid=$!
editor=
for _ in $(seq 100); do
    find_editor && break
    sleep 0.1
done
if [ -z "$editor" ]; then
    fail "no 900x258 editor window appeared: $(tail -n 3 "$log")"
    exit 1
fi
pass "the editor is a 900x258 child of the tool's window ($editor)"
sleep 1
shot 1-open
for band in $(seq 0 9); do
    check_cap 1-open "$band" 0.5
done
check_frame 1-open "IN button" 813 129 60 button.png 2 1
check_frame 1-open "IN lamp while processing" 815 50 50 lamp.png 2 1

# A drag 10 pixels up on band 1: 0.5 -> 0.6; the pointer comes back where the press was.
mark_log
pointer mousemove 166 131
sleep 0.2
pointer mousedown 1
sleep 0.2
pointer mousemove 166 127
sleep 0.1
pointer mousemove 166 121
sleep 0.4
shot 2-dragging
readout=no
for _ in $(seq $attempts); do
    readout_shown 2-dragging && readout=yes && break
    sleep 0.4
    shot 2-dragging
done
[ $readout = yes ] && pass "the read-out shows its text above band 1 while dragging" ||
    fail "expected black read-out text on white above band 1 while dragging (see 2-dragging.png)"
pointer mouseup 1
sleep 0.4
check_log "a drag begins an edit of band 1" 'audioMasterBeginEdit index=0'
check_log "the drag reports 0.6 for band 1" 'audioMasterAutomate index=0 value=0\.600000'
check_log "the release ends the edit" 'audioMasterEndEdit index=0'
where=$(pointer_at)
[ "$where" = "166 131" ] && pass "the pointer is back at the press point after the drag" ||
    fail "the pointer expected back at 166 131 after the drag, is at $where"
shot 3-dragged
check_cap 3-dragged 0 0.6
readout_shown 3-dragged && fail "the read-out still shows after the release" ||
    pass "the read-out is gone after the release"

# A drag that leaves the window keeps the fader: 200 pixels down on band 3 ends at the bottom.
mark_log
pointer mousemove 294 131
sleep 0.2
pointer mousedown 1
sleep 0.2
pointer mousemove 294 200
sleep 0.1
pointer mousemove 294 331
sleep 0.3
pointer mouseup 1
sleep 0.4
check_log "a drag below the window takes band 3 to 0" 'audioMasterAutomate index=2 value=0\.000000'
check_log "and ends its edit" 'audioMasterEndEdit index=2'

# A Shift-drag 50 pixels up on band 2 moves in fine steps: 0.5 -> 0.6.
mark_log
pointer mousemove 230 131
sleep 0.2
pointer keydown Shift_L
pointer mousedown 1
sleep 0.2
pointer mousemove 230 106
sleep 0.1
pointer mousemove 230 81
sleep 0.3
pointer mouseup 1
pointer keyup Shift_L
sleep 0.4
check_log "a Shift-drag of 50 pixels reports 0.6 for band 2" 'audioMasterAutomate index=1 value=0\.600000'
shot 4-fine
check_cap 4-fine 1 0.6

# Control-click resets band 1 to its default.
mark_log
pointer mousemove 166 131
sleep 0.2
pointer keydown Control_L
pointer click 1
pointer keyup Control_L
sleep 0.4
check_log "a Control-click sets band 1 back to 0.5" 'audioMasterAutomate index=0 value=0\.500000'
shot 5-reset
check_cap 5-reset 0 0.5

# The wheel over band 1: notches up and down in one burst are one gesture of 0.5 dB steps, with
# the read-out shown, ended once the wheel rests.
mark_log
pointer mousemove 166 131
sleep 0.2
wheel_burst
sleep 0.5
shot 6-wheel
wait "$wheel_pid"
sleep 0.8
check_wheel_burst 0 0.520833 0.500000 10
readout_shown 6-wheel && pass "the read-out shows above band 1 while the wheel turns" ||
    fail "expected the read-out above band 1 while the wheel turns (see 6-wheel.png)"
shot 6-wheeled
readout_shown 6-wheeled && fail "the read-out still shows after the wheel rested" ||
    pass "the read-out is gone once the wheel rests"

# Double click on band 4: the entry opens with the read-out selected; 'a' is refused, 3 and
# Enter give +3 dB, 0.625, and the keyboard focus goes back.
focus_before=$(pointer getwindowfocus 2>/dev/null)
mark_log
pointer mousemove 359 131
sleep 0.2
pointer click --repeat 2 --delay 80 1
sleep 0.5
shot 7-entry
selected=$(convert "$shots/7-entry.png" -crop 50x15+334+14 +repage -fuzz 10% -fill white \
    -opaque 'rgb(0,120,214)' -fill black +opaque white -format '%[fx:1-mean]' info:)
awk -v s="$selected" 'BEGIN { exit !(s > 0.2) }' &&
    pass "the entry opens over band 4 with its text selected" ||
    fail "expected the entry's selected text above band 4 (see 7-entry.png)"
[ "$(pointer getwindowfocus 2>/dev/null)" != "$focus_before" ] &&
    pass "the entry has the keyboard focus" || fail "the entry did not take the keyboard focus"
pointer type 'a3'
sleep 0.2
pointer key Return
sleep 0.5
check_log "typing a, 3 and Enter sets band 4 to 0.625" 'audioMasterAutomate index=3 value=0\.625000'
[ "$(pointer getwindowfocus 2>/dev/null)" = "$focus_before" ] &&
    pass "the keyboard focus is back after Enter" || fail "the keyboard focus did not come back"
shot 8-typed
check_cap 8-typed 3 0.625

# A press elsewhere closes the entry without applying what was typed.
mark_log
pointer mousemove 424 131
sleep 0.2
pointer click --repeat 2 --delay 80 1
sleep 0.5
pointer key 9
sleep 0.2
pointer mousemove 50 200 click 1
sleep 0.5
since_mark | grep -q 'audioMasterAutomate index=4 ' &&
    fail "a press elsewhere applied the entry: $(since_mark | grep 'index=4' | tr '\n' ';')" ||
    pass "a press elsewhere closes the entry without applying"

# A click on IN switches the equaliser out; the next blocks darken the lamp.
pointer mousemove 843 159
sleep 0.2
pointer click 1
sleep 0.6
shot 9-bypassed
check_frame 9-bypassed "IN button after the click" 813 129 60 button.png 2 0
check_frame 9-bypassed "IN lamp after the click" 815 50 50 lamp.png 2 0

kill -TERM "$tool_pid" 2>/dev/null
wait "$tool_pid" 2>/dev/null
tool_pid=
if xwininfo -root -tree 2>/dev/null | grep -q " 900x258+"; then
    fail "an editor window is left after the tool closed the editor"
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
timeout 120 "$host" editor "$plugin" --seconds 60 --audio --log --scale 2 >"$log" 2>&1 &
tool_pid=$!
editor=
for _ in $(seq 100); do
    frame=$(xwininfo -root -children 2>/dev/null | awk '/"vsthost - / { print $1; exit }')
    [ -n "$frame" ] &&
        editor=$(xwininfo -id "$frame" -children 2>/dev/null | awk '/ 1800x516\+/ { print $1; exit }')
    [ -n "$editor" ] && break
    sleep 0.1
done
if [ -z "$editor" ]; then
    fail "no 1800x516 editor window at --scale 2: $(tail -n 3 "$log")"
else
    pass "at --scale 2 the editor is a 1800x516 child of the tool's window"
    sleep 1
    shot 11-scale2
    difference=1
    for _ in $(seq $attempts); do
        convert "$shots/11-scale2.png" -resize 50% "$work/half.png"
        difference=$(compare -metric RMSE "$work/half.png" "$shots/1-open.png" null: 2>&1 |
            sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
        awk -v d="$difference" 'BEGIN { exit !(d != "" && d < 0.05) }' && break
        sleep 0.4
        shot 11-scale2
    done
    awk -v d="$difference" 'BEGIN { exit !(d != "" && d < 0.05) }' &&
        pass "the 2x picture halved is the 1x picture (RMSE $difference)" ||
        fail "the 2x picture halved differs from the 1x picture: RMSE '$difference' (see 11-scale2.png)"
    mark_log
    pointer mousemove 332 262
    sleep 0.2
    pointer mousedown 1
    sleep 0.2
    pointer mousemove 332 252
    sleep 0.1
    pointer mousemove 332 242
    sleep 0.3
    pointer mouseup 1
    sleep 0.4
    check_log "a 20-pixel drag at 2x reports 0.6 for band 1" 'audioMasterAutomate index=0 value=0\.600000'
    mark_log
    pointer mousemove 460 262
    sleep 0.2
    wheel_burst
    sleep 0.5
    shot 12-scale2-wheel
    wait "$wheel_pid"
    sleep 0.8
    check_wheel_burst 1 0.520833 0.500000 10
    mark_log
    pointer mousemove 718 262
    sleep 0.2
    pointer click --repeat 2 --delay 80 1
    sleep 0.5
    shot 12-scale2-entry
    selected=$(convert "$shots/12-scale2-entry.png" -crop 100x30+668+28 +repage -fuzz 10% \
        -fill white -opaque 'rgb(0,120,214)' -fill black +opaque white -format '%[fx:1-mean]' info:)
    awk -v s="$selected" 'BEGIN { exit !(s > 0.2) }' &&
        pass "the entry opens at twice its place and size above band 4" ||
        fail "expected the entry's selected text at 668,28 100x30 (see 12-scale2-entry.png)"
    pointer type '3'
    pointer key Return
    sleep 0.5
    check_log "typing 3 and Enter at 2x sets band 4 to 0.625" 'audioMasterAutomate index=3 value=0\.625000'
    kill -TERM "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
    tool_pid=
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
    timeout 60 "$host" editor "$plugin" --seconds 1 >"$work/noglx.log" 2>&1 &
    tool_pid=$!
    box=
    for _ in $(seq 100); do
        box=$(xdotool search --name '^VLM Tarvix 1\.0\.0$' 2>/dev/null | head -n 1)
        [ -n "$box" ] && break
        sleep 0.1
    done
    if [ -n "$box" ]; then
        sleep 0.5
        timeout 20 import -window "$box" "$shots/10-noglx-error.png" 2>/dev/null
        pointer key --window "$box" Return
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
