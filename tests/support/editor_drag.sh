# Steps shared by the tests that drive a plug-in's editor with the mouse: a private virtual
# display, the editor's window found once it is mapped at its size, and a drag and a click whose
# every step waits until the editor has taken the one before. Source it after wait.sh (and after
# defining pass and fail); the checks read the log $log from its mark (mark_log).

. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"

# private_display LOG [SCREEN]: a virtual X display of the test's own (xvfb_stop ends it); when
# none can be started the test skips.
private_display() {
    if ! XVFB_SCREEN=${2:-1280x1024x24} xvfb_start "$1"; then
        echo "SKIP: no X display"
        exit 77
    fi
}

pointer() { timeout 10 xdotool "$@"; }
pointer_at() { pointer getmouselocation | sed -n 's/^x:\([0-9]*\) y:\([0-9]*\).*/\1 \2/p'; }
pointer_is() { [ "$(pointer_at)" = "$1" ]; }

# find_child_editor TITLE SIZE: the editor, the SIZE (e.g. 900x258) child of the top-level window
# whose name begins with TITLE, once it is mapped; sets editor.
find_child_editor() {
    local frame
    frame=$(xwininfo -root -children 2>/dev/null | awk -v t="\"$1" 'index($0, t) { print $1; exit }')
    [ -n "$frame" ] || return 1
    editor=$(xwininfo -id "$frame" -children 2>/dev/null | awk -v s=" $2+" 'index($0, s) { print $1; exit }')
    [ -n "$editor" ] && window_viewable "$editor"
}

# find_wine_editor SIZE: the plug-in's window of SIZE under Wine (not the host tool's), mapped;
# sets editor.
find_wine_editor() {
    editor=$(xwininfo -root -tree 2>/dev/null | awk -v s=" $1+" 'index($0, s) && !/vsthost/ { print $1; exit }')
    [ -n "$editor" ] && window_viewable "$editor"
}

# wait_editor WHAT FINDER ARGS...: waits for FINDER to find the editor; when the deadline passes,
# a failure that names WHAT and shows the end of the log.
wait_editor() {
    local what=$1
    shift
    editor=
    wait_until "$wait_window" "$@" && return 0
    fail "timed out after $wait_window s waiting for $what: $(tail -n 3 "$log" | tr -d '\r' | tr '\n' ';')"
    return 1
}

# drag X Y BEGUN ENDED Y...: a drag with the left button from X Y of the editor through each Y in
# turn in the same column. The press must have begun an edit (a log line since the mark matching
# BEGUN) before the pointer moves, since the editor counts from where the pointer was when it
# handled the press; the release must have ended it (ENDED) and the editor must have put the
# pointer back where the press was before anything else moves it, or that would undo the move.
drag() {
    local x=$1 y=$2 begun=$3 ended=$4 at
    shift 4
    pointer mousemove --window "$editor" "$x" "$y"
    at=$(pointer_at)
    pointer mousedown 1
    if wait_or_fail "$wait_event" "the press at $x,$y to begin an edit (a log line matching '$begun')" \
        log_has "$begun"; then
        for y; do
            pointer mousemove --window "$editor" "$x" "$y"
        done
    fi
    pointer mouseup 1
    wait_or_fail "$wait_event" "the release to end the edit (a log line matching '$ended')" \
        log_has "$ended" &&
        wait_or_fail "$wait_event" "the pointer to come back to $at after the drag" pointer_is "$at"
}

# click X Y DONE WHAT: a click of the left button at X Y of the editor, and the editor has handled
# it (a log line since the mark matches DONE); WHAT names that in a failure.
click() {
    pointer mousemove --window "$editor" "$1" "$2"
    pointer click 1
    wait_or_fail "$wait_event" "$4 (a log line matching '$3')" log_has "$3"
}

