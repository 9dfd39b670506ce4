#!/usr/bin/env bash
# The main job: builds the plug-ins (Linux .so and Windows .dll) and runs a demo signal through
# the real binaries with the project's host tool: natively, then the DLL under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
out=build/demo
mkdir -p "$out"

echo "== Building the Linux plug-in and tools"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs" --target vlm_tarvix vsthost demosignal
echo "== Building the Windows plug-in and tool"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target vlm_tarvix vsthost

so=build/linux/plugin/VLMTarvix.so
dll=build/windows/plugin/VLMTarvix.dll
host=build/linux/tools/vsthost/vsthost
winhost=build/windows/tools/vsthost/vsthost.exe
# A "smile": lows and highs lifted, the low mids and the presence range a little back.
settings=(--band 1=6 --band 2=6 --band 3=3 --band 5=-2 --band 6=-3 --band 7=-1 --band 9=4 --band 10=6)

build/linux/tools/demosignal/demosignal "$out/demo.wav"
echo
echo "== The Linux plug-in: info"
"$host" info "$so"
echo
echo "== Rendering the demo signal through it: ${settings[*]}"
"$host" render "$so" "$out/demo.wav" "$out/demo-eq.wav" "${settings[@]}"
echo
echo "== Its magnitude response with the same setting"
"$host" response "$so" "${settings[@]}" --rate 48000 --png "$out/response.png"
echo
echo "== The Windows DLL under Wine: info, render and response"
scripts/wine-run "$winhost" info "$dll" | head -n 16
scripts/wine-run "$winhost" render "$dll" "$out/demo.wav" "$out/demo-eq-wine.wav" "${settings[@]}"
scripts/wine-run "$winhost" response "$dll" "${settings[@]}" --rate 48000
echo
echo "Demo input:           $out/demo.wav"
echo "Rendered (Linux):     $out/demo-eq.wav"
echo "Rendered (Wine/DLL):  $out/demo-eq-wine.wav"
echo "Response plot:        $out/response.png"
echo "Plug-in binaries:"
echo "  Linux VST2:         $(pwd)/$so"
echo "  Windows VST2 (x64): $(pwd)/$dll"
