#!/usr/bin/env bash
# The real plug-in DLL under Wine, loaded by the Windows host tool as a DAW loads it: its editor
# opens in the tool's window, a real mouse drag (xdotool) moves the 500 Hz fader to the top and
# the wheel moves the 1 kHz fader, the tool's log must show the edit gestures and the
# automation, and the processed audio must get louder. At --scale 2 the window is 1800x516, its
# picture halved is the 1x picture, a drag counts in layout pixels, and the validator's editor
# tests pass. Skips (exit 77) when a tool it needs is missing. It never sleeps for a guessed time:
# it waits on what it needs (the window mapped at its size, a settled picture, a log line), each
# with a deadline, and a deadline that passes names its condition.
#
# Usage: dll_editor_test.sh VSTHOST.exe PLUGIN.dll WORK_DIR
set -u

host=${1:?host tool}
plugin=${2:?plug-in}
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
# The shared waits, picture and validator checks.
. "$(dirname "$0")/../support/wait.sh"
. "$(dirname "$0")/../editor_pictures.sh"

# The display comes from with-xvfb.sh, which CTest puts in front of this script.
if [ -z "${DISPLAY:-}" ] || ! timeout 2 xwininfo -root >/dev/null 2>&1; then
    echo "SKIP: no X display"
    exit $skip
fi

. "$(dirname "$0")/../../scripts/wineprefix.sh"
wine_prefix_ready

rms_of() { awk -v ch="$2" '$1 == "Output" && $2 == ch { print $6 }' "$1" | tr -d '(' ; }

# The pictures are grabs of the editor's window at its size; shot NAME takes $work/NAME.png.
shots=$work
shot() { wine_window_shot "$editor" "$shot_width" "$shot_height" "$work/$1.png"; }

# find_editor SIZE: the plug-in's window of SIZE (e.g. 900x258), mapped; sets editor.
find_editor() {
    editor=$(xwininfo -root -tree 2>/dev/null | awk -v s=" $1+" 'index($0, s) && !/vsthost/ { print $1; exit }')
    [ -n "$editor" ] && window_viewable "$editor"
}

# The tool runs until the test closes its window, as a user would, and then prints its report;
# its own limit only catches a test that hangs.
start_tool() { # LOG ARGS...
    log=$1
    shift
    : >"$log"
    mark=0
    timeout 200 wine "$host" editor "$plugin" --seconds 180 --audio --log "$@" >"$log" 2>&1 &
    tool_pid=$!
}
tool_running() { kill -0 "$tool_pid" 2>/dev/null; }
tool_ended() { ! tool_running; }
close_tool() {
    timeout 60 wine taskkill /im "$(basename "$host")" >/dev/null 2>&1
    if ! wait_or_fail "$wait_event" "the tool to end after its window was closed" tool_ended; then
        kill "$tool_pid" 2>/dev/null
    fi
    wait "$tool_pid"
    tool_pid=
}

# press X Y ID: the left button goes down at X Y of the editor over the fader of parameter ID,
# and the editor has taken the press (the edit began) before the test goes on: the editor notes
# where the pointer was when it handles the press, so a move sent before that would count from
# elsewhere.
press() {
    xdotool mousemove --window "$editor" "$1" "$2"
    press_at=$(pointer_at)
    xdotool mousedown 1
    wait_or_fail "$wait_event" "the press at $1,$2 to begin an edit of parameter $3" \
        log_has "audioMasterBeginEdit index=$3( |\$)"
}

# release ID: the left button goes up after a drag on parameter ID, and the editor has handled
# it (the edit ended, the pointer is back where the press was) before the test goes on: a move
# sent before the editor puts the pointer back would be undone by it.
pointer_at() { xdotool getmouselocation | sed -n 's/^x:\([0-9]*\) y:\([0-9]*\).*/\1 \2/p'; }
pointer_back() { [ "$(pointer_at)" = "$press_at" ]; }
release() {
    xdotool mouseup 1
    wait_or_fail "$wait_event" "the release to end the edit of parameter $1" \
        log_has "audioMasterEndEdit index=$1( |\$)" &&
        wait_or_fail "$wait_event" "the pointer to come back to $press_at after the drag" pointer_back
}

# The level of the test signal through the untouched equaliser.
timeout 90 wine "$host" editor "$plugin" --seconds 4 --audio >"$work/baseline.log" 2>&1
base=$(rms_of "$work/baseline.log" 1)
[ -n "$base" ] || { fail "no baseline level: $(tail -n 3 "$work/baseline.log")"; exit 1; }

start_tool "$work/drag.log"
if ! wait_until "$wait_window" find_editor 900x258; then
    fail "timed out after $wait_window s waiting for a mapped 900x258 editor window"
    exit 1
fi
pass "the editor window is 900x258"
shot_width=900
shot_height=258
wait_picture scale1 ||
    fail "timed out after $wait_frame s waiting for the editor's first frame (see $work/scale1.png)"
# The 500 Hz fader: frame at x 399..449; its cap stands at y 131 for 0 dB. 70 px up is the top.
x=424
if press $x 131 4; then
    for y in 121 111 101 91 81 71 61; do
        xdotool mousemove --window "$editor" $x $y
    done
fi
release 4
# Three wheel notches down over the 1 kHz fader (x 463..513): one gesture of -0.5 dB steps.
xdotool mousemove --window "$editor" 488 131
xdotool click 5 sleep 0.1 click 5 sleep 0.1 click 5
wait_or_fail "$wait_event" "the wheel gesture on parameter 5 to end" \
    log_has 'audioMasterEndEdit index=5( |$)'
# The level the tool reports is that of its last second of output, which must come after the
# edits: this is the span measured, not a wait for anything.
sleep 1.5
close_tool

grep -q "audioMasterBeginEdit index=4" "$log" && pass "the drag began an edit of parameter 4" ||
    fail "no audioMasterBeginEdit for parameter 4"
grep -q "audioMasterAutomate index=4 " "$log" && pass "the drag automated parameter 4" ||
    fail "no audioMasterAutomate for parameter 4"
grep -q "audioMasterEndEdit index=4" "$log" && pass "the release ended the edit" ||
    fail "no audioMasterEndEdit for parameter 4"
order=$(grep -o -E "audioMaster(BeginEdit|Automate|EndEdit) index=4" "$log" | awk '{print $1}' |
    uniq | tr '\n' ' ')
[ "$order" = "audioMasterBeginEdit audioMasterAutomate audioMasterEndEdit " ] &&
    pass "begin, automate, end in that order" || fail "gesture order: $order"
grep -q 'Parameter 4: .*value=1.000000' "$log" && pass "parameter 4 ends at 1 (+12 dB)" ||
    fail "parameter 4 did not reach the top: $(grep 'Parameter 4:' "$log")"
wheel=$(grep -o -E "audioMaster(BeginEdit|Automate|EndEdit) index=5( value=[0-9.]+)?" "$log" |
    awk '{ sub(/audioMaster/, "", $1); sub(/value=/, "", $3); printf "%s%s ", $1, $3 ? " " $3 : "" }')
[ "$wheel" = "BeginEdit Automate 0.479167 Automate 0.458333 Automate 0.437500 EndEdit " ] &&
    pass "three wheel notches down on parameter 5: one gesture of 0.5 dB steps" ||
    fail "three wheel notches down on parameter 5: $wheel"
after=$(rms_of "$log" 1)
if [ -n "$after" ] && awk -v a="$after" -v b="$base" 'BEGIN { exit !(a > b * 1.1) }'; then
    pass "the output got louder: RMS $base -> $after"
else
    fail "the output did not get louder: RMS $base -> ${after:-none}"
fi

# --- At twice the size: 20 window pixels up on the 500 Hz fader are 10 layout pixels, 0.5 -> 0.6.
start_tool "$work/scale2.log" --scale 2
if ! wait_until "$wait_window" find_editor 1800x516; then
    fail "timed out after $wait_window s waiting for a mapped 1800x516 editor window at --scale 2: $(tail -n 3 "$log")"
else
    pass "at --scale 2 the editor window is 1800x516"
    shot_width=1800
    shot_height=516
    wait_picture scale2 ||
        fail "timed out after $wait_frame s waiting for the first frame at --scale 2 (see $work/scale2.png)"
    # The edges are left out: a window partly off the screen leaves a black row or column.
    convert "$work/scale1.png" -crop 890x248+5+5 +repage "$work/scale1-inner.png"
    difference=
    halved_is_1x() {
        convert "$work/scale2.png" -resize 50% -crop 890x248+5+5 +repage "$work/scale2-half.png"
        difference=$(compare -metric RMSE "$work/scale2-half.png" "$work/scale1-inner.png" null: 2>&1 |
            sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
        awk -v d="$difference" 'BEGIN { exit !(d != "" && d < 0.05) }'
    }
    look_again scale2 "$wait_event" halved_is_1x &&
        pass "the 2x picture halved is the 1x picture (RMSE $difference)" ||
        fail "the 2x picture halved differs from the 1x picture: RMSE '$difference' after $wait_event s (see $work/scale2.png)"
    if press 848 262 4; then
        for y in 257 252 247 242; do
            xdotool mousemove --window "$editor" 848 $y
        done
    fi
    release 4
    # Two notches up over the 1 kHz fader at twice its 1x place.
    xdotool mousemove --window "$editor" 976 262
    xdotool click 4 sleep 0.1 click 4
    wait_or_fail "$wait_event" "the wheel gesture at 2x on parameter 5 to end" \
        log_has 'audioMasterEndEdit index=5( |$)'
fi
close_tool
grep -q "audioMasterAutomate index=4 value=0.600000" "$work/scale2.log" &&
    pass "a 20-pixel drag at 2x automated parameter 4 to 0.6" ||
    fail "a 20-pixel drag at 2x: $(grep 'index=4' "$work/scale2.log" | tr '\n' ';')"
wheel=$(grep -o -E "audioMaster(BeginEdit|Automate|EndEdit) index=5( value=[0-9.]+)?" \
    "$work/scale2.log" |
    awk '{ sub(/audioMaster/, "", $1); sub(/value=/, "", $3); printf "%s%s ", $1, $3 ? " " $3 : "" }')
[ "$wheel" = "BeginEdit Automate 0.520833 Automate 0.541667 EndEdit " ] &&
    pass "two wheel notches up at 2x on parameter 5: one gesture of 0.5 dB steps" ||
    fail "two wheel notches up at 2x on parameter 5: $wheel"
check_validator_at_scale2 "$work/validate-scale2.log" wine "$host"

[ $failures -eq 0 ] || { echo "$failures check(s) failed; logs in $work"; exit 1; }
echo "All DLL editor checks passed."
