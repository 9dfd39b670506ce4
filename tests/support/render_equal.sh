#!/usr/bin/env bash
# Another format's build sounds exactly as the VST2 plug-in does: the host tool renders the same
# noise through both with the same settings, and the files must be equal byte for byte. Several
# settings, a block size that does not divide the file, and the IN switch both ways.
#
# Usage: render_equal.sh EMULATOR|"" VSTHOST VST2-PLUGIN OTHER-PLUGIN WORK_DIR
set -u

run=${1}
tool=${2:?host tool}
vst=${3:?VST2 plug-in}
other=${4:?plug-in of another format}
work=${5:?work directory}
export WINEDEBUG=-all
failures=0

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

le32() {
    local v=$1
    printf "\\x$(printf %02x $((v & 255)))\\x$(printf %02x $(((v >> 8) & 255)))"
    printf "\\x$(printf %02x $(((v >> 16) & 255)))\\x$(printf %02x $(((v >> 24) & 255)))"
}

# Half a second of 16-bit stereo noise.
frames=22050
bytes=$((frames * 4))
{
    printf 'RIFF'
    le32 $((36 + bytes))
    printf 'WAVEfmt '
    le32 16
    printf '\x01\x00\x02\x00'
    le32 44100
    le32 176400
    printf '\x04\x00\x10\x00data'
    le32 $bytes
    head -c $bytes /dev/urandom
} >in.wav

# A path the tool can open: Wine takes the Windows build's arguments as they are.
tool_run() {
    if [ -n "$run" ]; then
        "$run" "$tool" "$@"
    else
        "$tool" "$@"
    fi
}

case_no=0
check() {
    case_no=$((case_no + 1))
    if ! tool_run render "$vst" in.wav "vst$case_no.wav" --float "$@" >vst.log 2>&1; then
        echo "FAIL: the VST2 render with $* failed: $(cat vst.log)"
        failures=$((failures + 1))
        return
    fi
    if ! tool_run render "$other" in.wav "other$case_no.wav" --float "$@" >other.log 2>&1; then
        echo "FAIL: the render through $other with $* failed: $(cat other.log)"
        failures=$((failures + 1))
        return
    fi
    if ! cmp -s "vst$case_no.wav" "other$case_no.wav"; then
        echo "FAIL: with $* the render through $other differs from the VST2 render:" \
            "$(cmp "vst$case_no.wav" "other$case_no.wav" 2>&1 | head -1)"
        failures=$((failures + 1))
    elif [ "$case_no" -gt 1 ] && cmp -s other1.wav "other$case_no.wav"; then
        echo "FAIL: with $* the render is the one without settings: nothing was set"
        failures=$((failures + 1))
    else
        echo "ok: $* ($(wc -c <"other$case_no.wav") bytes equal)"
    fi
}

check
check --band 2=6 --band 5=-3.5 --band 9=2.3 --band 10=-11.9
check --band 1=12 --band 3=-12 --band 7=0.7 --block 300
check --band 4=5 --in off
check --band 6=-7.25 --in on --in off --in on --block 64

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
exit 0
