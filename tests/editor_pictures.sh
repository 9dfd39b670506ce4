# Picture checks shared by the editor tests (the DLL under Wine, the .so under X11): where a
# fader's cap stands and which frame of a filmstrip a region shows, each judged on a screenshot
# against the bare faceplate; a wheel burst; the validator's editor tests at 2x. Source it after
# defining pass and fail and sourcing support/wait.sh, and for the picture checks define shot
# SHOT (takes $shots/SHOT.png of the editor) and the variables shots, work and art (the artwork
# folder).
fader_x=(141 205 269 334 399 463 528 592 657 721)

# cap_centre SHOT BAND: the height of the fader cap's white index line in editor pixels. It is
# found where the picture is bright and differs from the bare faceplate, in the middle 30
# columns of the fader.
cap_centre() {
    local s=$shots/$1.png x=$((fader_x[$2] + 10))
    convert "$s" -crop "30x225+$x+33" +repage -colorspace gray "$work/bright.png"
    convert "$s" "$art/zem.png" -compose difference -composite -crop "30x225+$x+33" +repage \
        -colorspace gray "$work/diff.png"
    convert "$work/bright.png" "$work/diff.png" -compose darken -composite -scale '1x225!' \
        -depth 8 -compress none pgm:- |
        awk 'NR > 3 { for (i = 1; i <= NF; ++i) v[n++] = $i }
             END {
                 max = 0; for (i = 0; i < n; ++i) if (v[i] > max) max = v[i];
                 if (max < 60) { print "none"; exit }
                 sum = 0; weight = 0;
                 for (i = 0; i < n; ++i) if (v[i] >= 0.6 * max) { sum += (i + 0.5) * v[i]; weight += v[i] }
                 printf "%.2f\n", 33 + sum / weight
             }'
}

expected_centre() {
    awk -v v="$1" 'BEGIN { k = int(63 * v + 1e-6); printf "%.2f\n", 33 + 169.5 - 145 * k / 63 }'
}

# A picture may lag an event by a few redraws on a busy machine, so a picture check takes a
# new screenshot and looks again, up to $wait_event seconds, before it fails.
cap_at() { # SHOT BAND WANT: the cap found (in $got) stands within a pixel of WANT
    got=$(cap_centre "$1" "$2")
    # Neighbouring frames stand 2.3 pixels apart.
    [ "$got" != none ] && awk -v a="$got" -v b="$3" 'BEGIN { exit !(a - b < 1 && b - a < 1) }'
}

check_cap() { # SHOT BAND VALUE
    local got want
    want=$(expected_centre "$3")
    if look_again "$1" "$wait_event" cap_at "$1" "$2" "$want"; then
        pass "$1: band $(($2 + 1)) cap at y=$got for value $3 (expected $want)"
    else
        fail "$1: band $(($2 + 1)) cap expected at y=$want for value $3, still at $got after $wait_event s"
    fi
}

# frame_of SHOT X Y SIZE IMAGE FRAMES: which frame of a one-column strip the region shows,
# judged against each frame composed over the faceplate.
frame_of() {
    local s=$shots/$1.png x=$2 y=$3 size=$4 image=$5 frames=$6 k best=0 best_error=
    convert "$s" -crop "${size}x${size}+$x+$y" +repage "$work/region.png"
    for k in $(seq 0 $((frames - 1))); do
        convert "$art/zem.png" -crop "${size}x${size}+$x+$y" +repage \
            \( "$art/$image" -crop "${size}x${size}+0+$((k * size))" +repage \) \
            -compose over -composite "$work/frame.png"
        local error
        error=$(compare -metric RMSE "$work/region.png" "$work/frame.png" null: 2>&1 |
            sed -n 's/.*(\(.*\)).*/\1/p')
        if [ -z "$best_error" ] || awk -v a="$error" -v b="$best_error" 'BEGIN { exit !(a < b) }'; then
            best=$k
            best_error=$error
        fi
    done
    echo "$best"
}

frame_is() { # SHOT X Y SIZE IMAGE FRAMES EXPECTED: the frame shown (in $got) is EXPECTED
    got=$(frame_of "$1" "$2" "$3" "$4" "$5" "$6")
    [ "$got" = "$7" ]
}

check_frame() { # SHOT WHAT X Y SIZE IMAGE FRAMES EXPECTED
    local got
    if look_again "$1" "$wait_event" frame_is "$1" "$3" "$4" "$5" "$6" "$7" "$8"; then
        pass "$1: $2 shows frame $got"
    else
        fail "$1: $2 expected to show frame $8, still shows frame $got after $wait_event s"
    fi
}

# selection_share FILE: the share of the picture in a text selection's blue (the editor's own
# entry draws rgb(0,120,214), Wine's system colour is rgb(48,150,250)).
selection_share() {
    convert "$1" -fx '(b > 0.75 && r < 0.4 && g > 0.35 && g < 0.7) ? 1 : 0' -format '%[fx:mean]' info:
}

# wheel_burst: ten wheel notches where the pointer is, up and down in turn, 0.1 s apart, in the
# background; wheel_pid is its process.
wheel_burst() {
    timeout 20 xdotool click 4 sleep 0.1 click 5 sleep 0.1 click 4 sleep 0.1 click 5 sleep 0.1 \
        click 4 sleep 0.1 click 5 sleep 0.1 click 4 sleep 0.1 click 5 sleep 0.1 click 4 sleep 0.1 \
        click 5 &
    wheel_pid=$!
}

# check_validator_at_scale2 LOG COMMAND...: the validator's editor tests, run as COMMAND validate
# PLUGIN, pass with the editor at 2x.
check_validator_at_scale2() {
    local log=$1
    shift
    timeout 200 "$@" validate "$plugin" --strictness 10 --scale 2 \
        --only editor,editor-automation >"$log" 2>&1
    if grep -q "Totals: pass 2, fail 0, skip 0" "$log" && grep -q "1800 x 516" "$log"; then
        pass "the validator's editor tests pass at --scale 2 with a 1800 x 516 editor"
    else
        fail "the validator at --scale 2: $(tr '\n' ';' <"$log")"
    fi
}
