#!/usr/bin/env bash
# Ardour's own VST3 scanner indexes the bundle with our name, vendor, category and two inputs
# and two outputs. Its cache goes to a folder of the test's own.
#
# Usage: ardour_scan.sh SCANNER BUNDLE WORK_DIR
set -u
scanner=${1:?scanner}
bundle=${2:?bundle}
work=${3:?work directory}
rm -rf "$work"
mkdir -p "$work"
out=$(XDG_CACHE_HOME=$work LD_LIBRARY_PATH=$(dirname "$scanner") timeout 120 \
    "$scanner" -v -f "$bundle" 2>&1)
code=$?
failures=0
if [ $code -ne 0 ]; then
    echo "FAIL: the scanner ended with $code"
    failures=1
fi
for want in 'name="VLM Tarvix"' 'vendor="Velmora"' 'category="Fx|EQ"' 'version="1.0.0"' \
    'n_inputs="2"' 'n_outputs="2"' 'n_aux_inputs="0"' 'n_midi_inputs="0"'; do
    if ! grep -qF "$want" <<<"$out"; then
        echo "FAIL: the scanner's index lacks $want"
        failures=1
    fi
done
if [ $failures -ne 0 ]; then
    echo "$out"
    exit 1
fi
echo "Ardour's scanner indexes the bundle"
