#!/usr/bin/env bash
# The VST3 bundle sounds as the VST2 plug-in does, bit for bit: vsthost renders the same noise
# with the same settings through both and the outputs must be the same bytes.
#
# Usage: render_equal.sh EMULATOR-OR-"" VSTHOST VST2-BINARY VST3-BUNDLE WORK_DIR
set -u
emulator=${1-}
tool=${2:?host tool}
vst2=${3:?VST2 binary}
vst3=${4:?VST3 bundle}
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

# Half a second of 16-bit stereo noise at 48 kHz.
frames=24000
bytes=$((frames * 4))
{
    printf 'RIFF'
    le32 $((36 + bytes))
    printf 'WAVEfmt '
    le32 16
    printf '\x01\x00\x02\x00'
    le32 48000
    le32 192000
    printf '\x04\x00\x10\x00data'
    le32 $bytes
    head -c $bytes /dev/urandom
} >in.wav

render() {
    # shellcheck disable=SC2086 # the emulator is a word or nothing
    $emulator "$tool" render "$@" >/dev/null 2>err.txt || {
        echo "FAIL: vsthost render $* ended with $?: $(cat err.txt)"
        failures=$((failures + 1))
    }
}

case=0
compare() {
    case=$((case + 1))
    render "$vst2" in.wav "vst2-$case.wav" --float "$@"
    render "$vst3" in.wav "vst3-$case.wav" --float "$@"
    if ! cmp -s "vst2-$case.wav" "vst3-$case.wav"; then
        echo "FAIL: with $*: the VST3 render differs from the VST2 render" \
            "($(cmp "vst2-$case.wav" "vst3-$case.wav" 2>&1 | head -1))"
        failures=$((failures + 1))
    fi
}

compare --band 3=6 --band 8=-4.5
compare --band 1=12 --band 10=-12 --block 37
compare --band 3=6 --in off
# A setting that changes nothing must still change the sound: the comparison is not vacuous.
if cmp -s vst2-1.wav vst2-3.wav; then
    echo "FAIL: the settings made no difference to the sound"
    failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "VST3 renders equal VST2 renders"
