#!/usr/bin/env bash
# A CLAP host we did not write: Qtractor's out-of-process scanner makes the plug-in, reads its
# ports, parameters and editor support, and prints one line. It must name the plug-in, two
# audio channels in and out, no MIDI, the eleven parameters and the GUI flag.
#
# Usage: qtractor_scan.sh VLMTarvix.clap
set -u
clap=$(realpath "${1:?CLAP plug-in}")
scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
if [ ! -x "$scanner" ]; then
    echo "FAIL: $scanner is missing (Debian package qtractor; scripts/setup.sh installs it)"
    exit 1
fi
out=$(echo "CLAP:$clap" | QT_QPA_PLATFORM=offscreen timeout 60 "$scanner" 2>/dev/null)
code=$?
echo "$out"
if [ "$code" -ne 0 ]; then
    echo "FAIL: the scanner ended with code $code"
    exit 1
fi
if [ "$(printf '%s\n' "$out" | grep -c .)" -ne 1 ]; then
    echo "FAIL: expected one line for one plug-in"
    exit 1
fi
IFS='|' read -r kind name audio midi controls flags path rest <<<"$out"
expect() {
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1 is '$2', expected '$3'"
        exit 1
    fi
}
expect "the type" "$kind" CLAP
expect "the name" "$name" "VLM Tarvix"
expect "the audio channels (in:out)" "$audio" 2:2
expect "the MIDI ports (in:out)" "$midi" 0:0
expect "the parameters (in:out)" "$controls" 11:0
expect "the path" "$path" "$clap"
case ",$flags," in
*,GUI,*) ;;
*) echo "FAIL: the flags '$flags' lack GUI" && exit 1 ;;
esac
echo "ok"
