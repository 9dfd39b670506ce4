#!/usr/bin/env bash
# The LV2 bundle rendered by Debian's lv2apply gives the sample bytes of the VST2 plug-in
# rendered by vsthost with the same settings, at 44.1 and 96 kHz, with the IN switch on and off.
# Skips (exit 77) when lv2apply is missing.
# Usage: render_test.sh VSTHOST VST_PLUGIN.so BUNDLE_DIR WORK_DIR
set -u
host=${1:?host tool}
vst=${2:?VST2 plug-in}
bundle=${3:?LV2 bundle}
work=${4:?work directory}
here=$(cd "$(dirname "$0")" && pwd)
uri=https://velmora.example/plugins/tarvix

if ! command -v lv2apply >/dev/null 2>&1; then
    echo "SKIP: lv2apply is not installed (Debian package lilv-utils)"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work/lv2"
# A folder of its own with only the bundle in it, so that lilv reads nothing else.
ln -s "$(cd "$bundle" && pwd)" "$work/lv2/VLMTarvix.lv2"
export LV2_PATH=$work/lv2

# Every band moved; decibels a float holds exactly, as a port carries them.
gains=(6 -4.5 3 -12 12 -3 1.5 -1 4 -6)
symbols=(band_31hz band_63hz band_125hz band_250hz band_500hz band_1khz band_2khz band_4khz
    band_8khz band_16khz)
failures=0
for rate in 44100 96000; do
    python3 "$here/wav.py" make "$work/in-$rate.wav" "$rate" 1.5 || exit 1
    for in in on off; do
        vst_args=(--float --in "$in")
        lv2_args=(-c enabled "$([ $in = on ] && echo 1 || echo 0)")
        for k in "${!gains[@]}"; do
            vst_args+=(--band "$((k + 1))=${gains[$k]}")
            lv2_args+=(-c "${symbols[$k]}" "${gains[$k]}")
        done
        name=$rate-$in
        if ! "$host" render "$vst" "$work/in-$rate.wav" "$work/vst-$name.wav" "${vst_args[@]}" \
            >"$work/vst-$name.log" 2>&1; then
            echo "FAIL: vsthost render at $rate Hz, IN $in: $(tail -n 2 "$work/vst-$name.log")"
            failures=$((failures + 1))
            continue
        fi
        if ! lv2apply -i "$work/in-$rate.wav" -o "$work/lv2-$name.wav" "${lv2_args[@]}" "$uri" \
            >"$work/lv2-$name.log" 2>&1; then
            echo "FAIL: lv2apply at $rate Hz, IN $in: $(tail -n 2 "$work/lv2-$name.log")"
            failures=$((failures + 1))
            continue
        fi
        if python3 "$here/wav.py" same "$work/vst-$name.wav" "$work/lv2-$name.wav"; then
            echo "PASS: at $rate Hz with IN $in, lv2apply's render has the VST2 render's bytes"
        else
            echo "FAIL: at $rate Hz with IN $in, lv2apply's render differs from the VST2 render"
            failures=$((failures + 1))
        fi
    done
    # The settings must make a difference, or the comparison above proves little.
    if python3 "$here/wav.py" same "$work/vst-$rate-on.wav" "$work/vst-$rate-off.wav" \
        >/dev/null; then
        echo "FAIL: at $rate Hz the equaliser's render equals its bypass"
        failures=$((failures + 1))
    fi
done
echo "$failures failure(s)"
[ $failures -eq 0 ]
