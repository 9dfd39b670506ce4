# Waiting on conditions, for the tests that drive editor windows. A busy machine may take
# seconds for what a quiet one does at once (a first frame, a redraw, an event reaching the
# plug-in), so the tests never sleep for a guessed time: they look at the condition itself again
# and again until it holds or a generous deadline passes, and then say which condition it was.
# Source it after defining fail. The window and picture helpers need xwininfo, convert and
# compare; the picture ones also a function shot NAME that takes $shots/NAME.png.

# Deadlines in seconds: for a window to appear (a program starting, Wine making its prefix
# ready), for a window's first frame, and for what follows an event (a log line, a redraw).
wait_window=60
wait_frame=30
wait_event=20

# now_ms: a wall clock in milliseconds.
now_ms() {
    local t=${EPOCHREALTIME//[.,]/}
    echo $((t / 1000))
}

# wait_until SECONDS COMMAND...: runs COMMAND until it succeeds, at least once and at most until
# SECONDS have passed, 0.1 s apart; the status says whether it succeeded.
wait_until() {
    local end=$(($(now_ms) + $1 * 1000))
    shift
    until "$@"; do
        [ "$(now_ms)" -ge "$end" ] && return 1
        sleep 0.1
    done
}

# wait_or_fail SECONDS WHAT COMMAND...: wait_until, and when the deadline passes a failure that
# names the condition.
wait_or_fail() {
    local seconds=$1 what=$2
    shift 2
    wait_until "$seconds" "$@" && return 0
    fail "timed out after $seconds s waiting for $what"
    return 1
}

# --- A log that grows while a program runs; $log names it ------------------------------------
mark=0
# mark_log: what the next checks read starts after the lines written so far.
mark_log() { mark=$(wc -l <"$log"); }
since_mark() { tail -n +$((mark + 1)) "$log"; }
# log_has REGEX: a line written since the mark matches REGEX (extended).
log_has() { since_mark | grep -q -E "$1"; }
# check_log DESCRIPTION REGEX: passes once a line since the mark matches REGEX.
check_log() {
    if wait_until "$wait_event" log_has "$2"; then
        pass "$1"
    else
        fail "$1: timed out after $wait_event s waiting for a log line matching '$2'; since the mark: $(since_mark | tail -n 5 | tr '\n' ';')"
    fi
}

# --- Windows ----------------------------------------------------------------------------------
# window_viewable ID: the window and all its ancestors are mapped, so it is drawn and takes input.
window_viewable() { timeout 10 xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# --- Pictures ---------------------------------------------------------------------------------
# window_shot WINDOW FILE [CONVERT-OPTIONS...]: the window's picture (WINDOW may be -root) as a
# PNG. xwd reads it without grabbing the server, which import does: on a busy machine that grab
# can hold every other client up for long enough to break a timed gesture, the notches of one
# wheel burst arriving as two. (Under Wine the editor's OpenGL window lies off the screen in a
# window of Wine's own, which xwd does not read; the Wine tests keep import.)
window_shot() {
    local window=$1 file=$2 source
    shift 2
    [ "$window" = -root ] && source=(-root) || source=(-id "$window")
    # -strip: xwd's comment would otherwise follow the picture into what is made of it.
    timeout 20 xwd -silent "${source[@]}" 2>/dev/null | convert xwd:- -strip "$@" "$file" 2>/dev/null
}

# picture_blank FILE: the picture is one flat colour (a window not drawn yet is black).
picture_blank() {
    local deviation
    deviation=$(convert "$1" -format '%[fx:standard_deviation]' info: 2>/dev/null)
    awk -v d="$deviation" 'BEGIN { exit !(d == "" || d < 0.01) }'
}

# pictures_equal A B: not one pixel differs.
pictures_equal() {
    local differing
    differing=$(compare -metric AE "$1" "$2" null: 2>&1)
    [ "${differing%% *}" = 0 ]
}

# picture_settled NAME: a new shot NAME shows a picture, the same as the shot before it.
picture_settled() {
    local file=$shots/$1.png previous=$shots/$1.previous.png
    # A shot that fails must not leave the last one standing in for it.
    rm -f "$file"
    shot "$1"
    if [ -s "$file" ] && [ -s "$previous" ] && ! picture_blank "$file" &&
        pictures_equal "$file" "$previous"; then
        rm -f "$previous"
        return 0
    fi
    [ -s "$file" ] && cp "$file" "$previous"
    return 1
}

# wait_picture NAME [SECONDS]: takes shots until the window shows a picture that two shots in a
# row agree on, so that the checks that follow judge a finished frame rather than the black of
# a window not drawn yet or a frame half-way through an update.
wait_picture() {
    rm -f "$shots/$1.previous.png"
    wait_until "${2:-$wait_frame}" picture_settled "$1"
}

# look_again NAME SECONDS COMMAND...: COMMAND judges $shots/NAME.png; while it does not hold,
# a new shot is taken and judged, until SECONDS have passed. For a picture that follows an event
# and may lag it by a few redraws.
look_again() {
    local name=$1 end=$(($(now_ms) + $2 * 1000))
    shift 2
    until "$@"; do
        [ "$(now_ms)" -ge "$end" ] && return 1
        sleep 0.1
        shot "$name"
    done
}

# wine_window_shot WINDOW WIDTH HEIGHT FILE: the window as WIDTH x HEIGHT pixels. Under Wine the
# editor's OpenGL child is an X window of its own that may lie partly off the screen, which xwd
# does not read; import does, and the part outside is left black.
wine_window_shot() {
    local info x y ox=0 oy=0
    info=$(timeout 10 xwininfo -id "$1" 2>/dev/null)
    x=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$info")
    timeout 20 import -window "$1" "$4.raw.png" 2>/dev/null
    [ "${x:-0}" -lt 0 ] && ox=$((-x))
    [ "${y:-0}" -lt 0 ] && oy=$((-y))
    convert -size "$2x$3" xc:black "$4.raw.png" -geometry "+$ox+$oy" -composite "$4" 2>/dev/null
    rm -f "$4.raw.png"
}
