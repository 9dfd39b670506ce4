#!/usr/bin/env bash
# The Windows editor under Wine on a virtual X display: opens it through the probe host, checks
# the picture on screenshots, drives it with real mouse and keyboard events, and checks what the
# host was told. Skips (exit 77) when a tool it needs is missing. It never sleeps for a guessed
# time: it waits on what it needs (a log line, a window mapped, a settled picture), each with a
# deadline, and a deadline that passes names its condition.
#
# Usage: editor_test.sh PROBE.exe RESOURCE_DIR WORK_DIR
set -u

probe=${1:?probe program}
art=${2:?resource directory}
work=${3:?work directory}
skip=77

for tool in Xvfb wine wineserver xdotool xwininfo import convert compare timeout awk mkfifo; do
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
log=$work/probe.log
fifo=$work/commands
failures=0
probe_pid=

export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
    exec 3>&- 2>/dev/null
    if [ -n "$probe_pid" ]; then
        kill "$probe_pid" 2>/dev/null
    fi
    timeout 10 wineserver -k 2>/dev/null
    xvfb_stop
    rm -f "$fifo"
}
trap cleanup EXIT

pass() { echo "PASS: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# --- The display --------------------------------------------------------------------------
. "$(dirname "$0")/../../scripts/xvfb.sh"
if ! xvfb_start "$work/xvfb.log"; then
    echo "SKIP: no X display"
    exit $skip
fi

# --- The Wine prefix, made once; the read-out needs Tahoma ----------------------------------
. "$(dirname "$0")/../../scripts/wineprefix.sh"
wine_prefix_ready

# --- Helpers --------------------------------------------------------------------------------
send() { echo "$*" >&3; }

# editor_listed: an X window of 900 x 258, the editor's, exists (mapped or not). Sets win_id,
# win_x, win_y.
editor_listed() {
    local line
    line=$(timeout 10 xwininfo -root -tree | awk '{
        for (i = 1; i <= NF; ++i) if ($i ~ /^900x258\+/) { print $1, $NF; }
    }' | tail -n 1)
    win_id=${line%% *}
    local abs=${line#* }
    abs=${abs#+}
    win_x=${abs%%+*}
    win_y=${abs#*+}
    [ -n "$line" ]
}
# find_editor: the editor's X window, mapped.
find_editor() { editor_listed && window_viewable "$win_id"; }
editor_gone() { ! editor_listed; }

# shot NAME: the editor's window as 900 x 258 editor pixels. Under Wine the OpenGL child is an
# X window of its own that may lie partly off the screen; the part outside is left black.
shot() {
    local raw=$shots/raw-$1.png ox=0 oy=0
    timeout 20 import -window "$win_id" "$raw" 2>/dev/null
    [ "$win_x" -lt 0 ] && ox=$((-win_x))
    [ "$win_y" -lt 0 ] && oy=$((-win_y))
    convert -size 900x258 xc:black "$raw" -geometry "+$ox+$oy" -composite "$shots/$1.png"
    rm -f "$raw"
}

. "$(dirname "$0")/../support/wait.sh"
. "$(dirname "$0")/../editor_pictures.sh"

# readout_shown SHOT: whether the white read-out box stands above band 1 (its text is black
# on opaque white, so most of its pixels are white).
readout_shown() {
    local white
    white=$(convert "$shots/$1.png" -crop 40x8+146+21 +repage -colorspace gray -threshold 90% \
        -format '%[fx:mean]' info:)
    awk -v w="$white" 'BEGIN { exit !(w > 0.5) }'
}
readout_gone() { ! readout_shown "$1"; }

# entry_open: the text entry stands above band 4 with its text selected: a tenth of the region
# at least is the selection's blue. The entry is a system window drawn in the host's window,
# while the editor's picture is an OpenGL window of its own, so the entry is judged on the screen.
entry_open() {
    timeout 20 import -window root -crop "50x15+$((editor_x + 334))+$((editor_y + 14))" +repage \
        "$shots/6-entry-screen.png" 2>/dev/null
    awk -v s="$(selection_share "$shots/6-entry-screen.png")" 'BEGIN { exit !(s > 0.1) }'
}

# Screen position of an editor pixel.
at() { echo $((editor_x + $1)) $((editor_y + $2)); }
pointer() { timeout 10 xdotool "$@"; }

# press X Y ID: the left button goes down at screen X Y over the fader of parameter ID, and the
# editor has taken the press (the edit began) before the test goes on: the editor notes where
# the pointer was when it handles the press, so a move sent before that would count from
# elsewhere.
press() {
    pointer mousemove "$1" "$2"
    pointer mousedown 1
    wait_or_fail "$wait_event" "the press at $1,$2 to begin an edit of parameter $3" \
        log_has "^beginEdit $3\$"
}

# process_block: one audio block, processed and reported.
process_block() {
    mark_log
    send process
    wait_or_fail "$wait_event" "the probe to process a block" log_has '^processed'
}

# --- Run the probe --------------------------------------------------------------------------
# The probe runs until the test ends it; its own limit only catches a test that hangs.
rm -f "$fifo"
mkfifo "$fifo"
exec 3<>"$fifo"
: >"$log"
timeout 230 wine "$probe" --seconds 220 <"$fifo" >"$log" 2>"$work/probe.err" &
probe_pid=$!

mark_log
if ! wait_until "$wait_window" log_has '^open '; then
    fail "timed out after $wait_window s waiting for the probe to open the editor: $(tr '\n' ';' <"$log") $(tail -n 5 "$work/probe.err")"
    exit 1
fi
grep -q '^rect 900 258$' "$log" && pass "the editor reports 900 x 258" ||
    fail "expected 'rect 900 258', got: $(grep '^rect' "$log")"
check_log "the editor opened" '^open 1$'
wait_or_fail "$wait_event" "the probe to report the editor's place" log_has '^editor '
read -r _ editor_x editor_y _ <<<"$(grep '^editor ' "$log" | tail -n 1)"
grep '^gl ' "$log" | sed 's/^gl /OpenGL: /'
if wait_until "$wait_window" find_editor; then
    pass "an X window of 900x258 shows the editor ($win_id at $win_x,$win_y)"
else
    fail "timed out after $wait_window s waiting for a mapped X window of 900x258 after opening the editor"
    exit 1
fi

wait_picture 1-open || fail "timed out after $wait_frame s waiting for the editor's first frame (see 1-open.png)"
for band in $(seq 0 9); do
    check_cap 1-open "$band" 0.5
done
check_frame 1-open "IN button" 813 129 60 button.png 2 1
check_frame 1-open "IN lamp" 815 50 50 lamp.png 2 0

# The audio thread lights the lamp from the IN button.
process_block
shot 2-processed
check_frame 2-processed "IN lamp after processing" 815 50 50 lamp.png 2 1

# A drag 10 pixels up on band 1: 0.5 -> 0.6.
read -r px py <<<"$(at 166 131)"
mark_log
press "$px" "$py" 0
pointer mousemove "$px" $((py - 4))
pointer mousemove "$px" $((py - 10))
shot 3-dragging
look_again 3-dragging "$wait_event" readout_shown 3-dragging &&
    pass "the read-out shows above band 1 while dragging" ||
    fail "expected the white read-out box above band 1 while dragging, none after $wait_event s (see 3-dragging.png)"
pointer mouseup 1
check_log "a drag begins an edit of band 1" '^beginEdit 0$'
check_log "the drag reports 0.6 for band 1" '^automate 0 0\.600000$'
check_log "the release ends the edit" '^endEdit 0$'
shot 4-dragged
check_cap 4-dragged 0 0.6
look_again 4-dragged "$wait_event" readout_gone 4-dragged &&
    pass "the read-out is gone after the release" ||
    fail "the read-out still shows $wait_event s after the release (see 4-dragged.png)"

# Control-click resets band 1 to its default.
mark_log
pointer mousemove "$px" "$py"
pointer keydown Control_L
pointer click 1
pointer keyup Control_L
check_log "a Control-click sets band 1 back to 0.5" '^automate 0 0\.500000$'
shot 5-reset
check_cap 5-reset 0 0.5

# The wheel over band 1 (WM_MOUSEWHEEL): notches up and down in one burst are one gesture of
# 0.5 dB steps, with the read-out shown, ended once the wheel rests. Shots are taken while the
# gesture lasts (up to $wait_event s) until one shows the read-out; the gesture's end is read
# before each shot, so a shot that misses it was taken after.
read -r px py <<<"$(at 166 131)"
mark_log
pointer mousemove "$px" "$py"
wheel_burst
seen=no
ended=no
end=$(($(now_ms) + wait_event * 1000))
until [ $ended = yes ] || [ "$(now_ms)" -ge "$end" ]; do
    log_has '^endEdit 0$' && ended=yes
    shot 5-wheel
    readout_shown 5-wheel && seen=yes && break
done
wait "$wheel_pid"
want=begin
for i in $(seq 10); do
    [ $((i % 2)) -eq 1 ] && want="$want 0.520833" || want="$want 0.500000"
done
want="$want end"
gesture_is() {
    got=$(since_mark | awk '$1 == "beginEdit" && $2 == 0 { printf " begin" }
        $1 == "automate" && $2 == 0 { printf " %s", $3 } $1 == "endEdit" && $2 == 0 { printf " end" }')
    [ "${got# }" = "$want" ]
}
wait_until "$wait_event" gesture_is && pass "a wheel burst over band 1 is one gesture: $want" ||
    fail "a wheel burst over band 1: expected '$want', got '${got# }' (waited $wait_event s)"
[ $seen = yes ] && pass "the read-out shows above band 1 while the wheel turns" ||
    fail "expected the read-out above band 1 while the wheel turns; the gesture ended before a shot showed it (see 5-wheel.png)"
shot 5-wheeled
look_again 5-wheeled "$wait_event" readout_gone 5-wheeled &&
    pass "the read-out is gone once the wheel rests" ||
    fail "the read-out still shows $wait_event s after the wheel rested (see 5-wheeled.png)"

# Double click on band 4, type 3 and Enter: +3 dB is 0.625. The keys go where the system's
# focus is when they come, so they wait for the entry to show.
read -r px py <<<"$(at 359 131)"
mark_log
pointer mousemove "$px" "$py"
pointer click --repeat 2 --delay 80 1
wait_or_fail "$wait_event" "the entry to open above band 4 (see 6-entry-screen.png)" entry_open
pointer key 3
pointer key Return
check_log "typing 3 and Enter sets band 4 to 0.625" '^automate 3 0\.625000$'
shot 6-typed
check_cap 6-typed 3 0.625

# A click on IN switches the equaliser out; the next block darkens the lamp.
read -r px py <<<"$(at 843 159)"
mark_log
pointer mousemove "$px" "$py"
pointer click 1
check_log "a click on IN reports 0" '^automate 10 0\.000000$'
process_block
shot 7-bypassed
check_frame 7-bypassed "IN button after the click" 813 129 60 button.png 2 0
check_frame 7-bypassed "IN lamp after the click" 815 50 50 lamp.png 2 0

# Close and reopen: the window goes and comes back with the values kept.
mark_log
send close
if wait_or_fail "$wait_event" "the probe to close the editor" log_has '^closed'; then
    wait_until "$wait_event" editor_gone && pass "the editor's window is gone after close" ||
        fail "the editor's window still exists $wait_event s after close ($win_id)"
fi
mark_log
send open
if wait_until "$wait_event" log_has '^open '; then
    check_log "the editor opens again" '^open 1$'
else
    fail "timed out after $wait_event s waiting for the probe to open the editor again"
fi
if wait_until "$wait_window" find_editor; then
    pass "the reopened editor shows in $win_id"
    wait_picture 8-reopened ||
        fail "timed out after $wait_frame s waiting for the reopened editor's first frame (see 8-reopened.png)"
    check_cap 8-reopened 0 0.5
    check_cap 8-reopened 3 0.625
    check_cap 8-reopened 5 0.5
    check_frame 8-reopened "IN button after reopening" 813 129 60 button.png 2 0
else
    fail "timed out after $wait_window s waiting for a mapped X window of 900x258 after reopening"
fi

# The values the host would save.
mark_log
send quit
if wait_until "$wait_event" log_has '^final '; then
    read -r -a final <<<"$(grep '^final ' "$log" | tail -n 1)"
    want=(final 0.500000 0.500000 0.500000 0.625000 0.500000 0.500000 0.500000 0.500000
        0.500000 0.500000 0.000000 0.000000)
    if [ "${final[*]}" = "${want[*]}" ]; then
        pass "final values: ${final[*]:1}"
    else
        fail "final values expected '${want[*]:1}', got '${final[*]:1}'"
    fi
else
    fail "timed out after $wait_event s waiting for the probe to finish: $(tail -n 3 "$log" | tr '\n' ';')"
fi
wait "$probe_pid" 2>/dev/null
probe_pid=

echo "Screenshots: $shots"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the probe's log is $log"
    exit 1
fi
echo "All editor checks passed"
