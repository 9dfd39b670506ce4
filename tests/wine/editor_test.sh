#!/usr/bin/env bash
# The Windows editor under Wine on a virtual X display: opens it through the probe host, checks
# the picture on screenshots, drives it with real mouse and keyboard events, and checks what the
# host was told. Skips (exit 77) when a tool it needs is missing; every wait has a time limit.
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
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    timeout 180 wineboot --init >/dev/null 2>&1
    timeout 60 wineserver -w
fi
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null

# --- Helpers --------------------------------------------------------------------------------
send() { echo "$*" >&3; }

# wait_for REGEX SECONDS: waits for a log line matching REGEX after the mark set by mark_log.
mark=0
mark_log() { mark=$(wc -l <"$log"); }
wait_for() {
    local regex=$1 limit=$2 i
    for i in $(seq $((limit * 10))); do
        if tail -n +$((mark + 1)) "$log" | grep -Eq "$regex"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}
since_mark() { tail -n +$((mark + 1)) "$log"; }

# The editor's X window: the one that measures 900 x 258. Sets win_id, win_x, win_y.
find_editor() {
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

. "$(dirname "$0")/../editor_pictures.sh"

check_log() { # DESCRIPTION REGEX
    if wait_for "$2" 5; then
        pass "$1"
    else
        fail "$1: expected a log line matching '$2', got: $(since_mark | tr '\n' ';')"
    fi
}

# readout_shown SHOT: whether the white read-out box stands above band 1 (its text is black
# on opaque white, so most of its pixels are white).
readout_shown() {
    local white
    white=$(convert "$shots/$1.png" -crop 40x8+146+21 +repage -colorspace gray -threshold 90% \
        -format '%[fx:mean]' info:)
    awk -v w="$white" 'BEGIN { exit !(w > 0.5) }'
}

# Screen position of an editor pixel.
at() { echo $((editor_x + $1)) $((editor_y + $2)); }
pointer() { timeout 10 xdotool "$@"; }

# --- Run the probe --------------------------------------------------------------------------
rm -f "$fifo"
mkfifo "$fifo"
exec 3<>"$fifo"
: >"$log"
timeout 120 wine "$probe" --seconds 100 <"$fifo" >"$log" 2>"$work/probe.err" &
probe_pid=$!

mark_log
if ! wait_for '^open ' 60; then
    fail "the probe did not open the editor: $(tr '\n' ';' <"$log") $(tail -n 5 "$work/probe.err")"
    exit 1
fi
grep -q '^rect 900 258$' "$log" && pass "the editor reports 900 x 258" ||
    fail "expected 'rect 900 258', got: $(grep '^rect' "$log")"
check_log "the editor opened" '^open 1$'
wait_for '^editor ' 5
read -r _ editor_x editor_y _ <<<"$(grep '^editor ' "$log" | tail -n 1)"
grep '^gl ' "$log" | sed 's/^gl /OpenGL: /'
sleep 1
if find_editor; then
    pass "an X window of 900x258 shows the editor ($win_id at $win_x,$win_y)"
else
    fail "no X window of 900x258 after opening the editor"
    exit 1
fi

shot 1-open
for band in $(seq 0 9); do
    check_cap 1-open "$band" 0.5
done
check_frame 1-open "IN button" 813 129 60 button.png 2 1
check_frame 1-open "IN lamp" 815 50 50 lamp.png 2 0

# The audio thread lights the lamp from the IN button.
mark_log
send process
wait_for '^processed' 10
sleep 0.5
shot 2-processed
check_frame 2-processed "IN lamp after processing" 815 50 50 lamp.png 2 1

# A drag 10 pixels up on band 1: 0.5 -> 0.6.
read -r px py <<<"$(at 166 131)"
mark_log
pointer mousemove "$px" "$py"
sleep 0.2
pointer mousedown 1
sleep 0.2
pointer mousemove "$px" $((py - 4))
sleep 0.1
pointer mousemove "$px" $((py - 10))
sleep 0.4
shot 3-dragging
readout=no
for _ in $(seq $attempts); do
    if readout_shown 3-dragging; then
        readout=yes
        break
    fi
    sleep 0.4
    shot 3-dragging
done
if [ $readout = yes ]; then
    pass "the read-out shows above band 1 while dragging"
else
    fail "expected the white read-out box above band 1 while dragging (see 3-dragging.png)"
fi
pointer mouseup 1
sleep 0.4
check_log "a drag begins an edit of band 1" '^beginEdit 0$'
check_log "the drag reports 0.6 for band 1" '^automate 0 0\.600000$'
check_log "the release ends the edit" '^endEdit 0$'
shot 4-dragged
check_cap 4-dragged 0 0.6
shot 4-dragged
if readout_shown 4-dragged; then
    fail "the read-out still shows after the release (see 4-dragged.png)"
else
    pass "the read-out is gone after the release"
fi

# Control-click resets band 1 to its default.
mark_log
pointer mousemove "$px" "$py"
sleep 0.2
pointer keydown Control_L
pointer click 1
pointer keyup Control_L
sleep 0.4
check_log "a Control-click sets band 1 back to 0.5" '^automate 0 0\.500000$'
shot 5-reset
check_cap 5-reset 0 0.5

# The wheel over band 1 (WM_MOUSEWHEEL): notches up and down in one burst are one gesture of
# 0.5 dB steps, with the read-out shown, ended once the wheel rests.
read -r px py <<<"$(at 166 131)"
mark_log
pointer mousemove "$px" "$py"
sleep 0.2
wheel_burst
sleep 0.5
shot 5-wheel
wait "$wheel_pid"
sleep 0.8
want=begin
for i in $(seq 10); do
    [ $((i % 2)) -eq 1 ] && want="$want 0.520833" || want="$want 0.500000"
done
want="$want end"
for _ in $(seq 25); do
    got=$(since_mark | awk '$1 == "beginEdit" && $2 == 0 { printf " begin" }
        $1 == "automate" && $2 == 0 { printf " %s", $3 } $1 == "endEdit" && $2 == 0 { printf " end" }')
    [ "${got# }" = "$want" ] && break
    sleep 0.2
done
[ "${got# }" = "$want" ] && pass "a wheel burst over band 1 is one gesture: $want" ||
    fail "a wheel burst over band 1: expected '$want', got '${got# }'"
readout_shown 5-wheel && pass "the read-out shows above band 1 while the wheel turns" ||
    fail "expected the read-out above band 1 while the wheel turns (see 5-wheel.png)"
shot 5-wheeled
readout_shown 5-wheeled && fail "the read-out still shows after the wheel rested" ||
    pass "the read-out is gone once the wheel rests"

# Double click on band 4, type 3 and Enter: +3 dB is 0.625.
read -r px py <<<"$(at 359 131)"
mark_log
pointer mousemove "$px" "$py"
sleep 0.2
pointer click --repeat 2 --delay 80 1
sleep 0.5
pointer key 3
sleep 0.2
pointer key Return
sleep 0.5
check_log "typing 3 and Enter sets band 4 to 0.625" '^automate 3 0\.625000$'
shot 6-typed
check_cap 6-typed 3 0.625

# A click on IN switches the equaliser out; the next block darkens the lamp.
read -r px py <<<"$(at 843 159)"
mark_log
pointer mousemove "$px" "$py"
sleep 0.2
pointer click 1
sleep 0.4
check_log "a click on IN reports 0" '^automate 10 0\.000000$'
send process
wait_for '^processed' 10
sleep 0.5
shot 7-bypassed
check_frame 7-bypassed "IN button after the click" 813 129 60 button.png 2 0
check_frame 7-bypassed "IN lamp after the click" 815 50 50 lamp.png 2 0

# Close and reopen: the window goes and comes back with the values kept.
mark_log
send close
wait_for '^closed' 10
sleep 0.5
if find_editor; then
    fail "the editor's window still exists after close ($win_id)"
else
    pass "the editor's window is gone after close"
fi
mark_log
send open
if wait_for '^open ' 20; then
    check_log "the editor opens again" '^open 1$'
fi
sleep 1
if find_editor; then
    pass "the reopened editor shows in $win_id"
    shot 8-reopened
    check_cap 8-reopened 0 0.5
    check_cap 8-reopened 3 0.625
    check_cap 8-reopened 5 0.5
    check_frame 8-reopened "IN button after reopening" 813 129 60 button.png 2 0
else
    fail "no X window of 900x258 after reopening"
fi

# The values the host would save.
mark_log
send quit
if wait_for '^final ' 20; then
    read -r -a final <<<"$(grep '^final ' "$log" | tail -n 1)"
    want=(final 0.500000 0.500000 0.500000 0.625000 0.500000 0.500000 0.500000 0.500000
        0.500000 0.500000 0.000000 0.000000)
    if [ "${final[*]}" = "${want[*]}" ]; then
        pass "final values: ${final[*]:1}"
    else
        fail "final values expected '${want[*]:1}', got '${final[*]:1}'"
    fi
else
    fail "the probe did not finish: $(tail -n 3 "$log" | tr '\n' ';')"
fi
wait "$probe_pid" 2>/dev/null
probe_pid=

echo "Screenshots: $shots"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; the probe's log is $log"
    exit 1
fi
echo "All editor checks passed"
