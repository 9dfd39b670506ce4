#!/usr/bin/env bash
# The main job: builds the plug-ins (Linux .so and Windows .dll) and runs a demo signal through
# the real binaries with the project's host tool: natively, then the DLL under Wine; through the
# VST3 and CLAP builds on both systems, and the LV2 bundle with Debian's lv2apply, each compared
# with the VST2 render.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
out=build/demo
mkdir -p "$out"

echo "== Building the Linux plug-in and tools"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs" --target vlm_tarvix vlm_tarvix_lv2 vlm_tarvix_vst3 \
    vlm_tarvix_clap vsthost demosignal
echo "== Building the Windows plug-in and tool"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target vlm_tarvix vlm_tarvix_vst3 vlm_tarvix_clap \
    vsthost

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
scripts/wine-run "$winhost" info "$dll" | sed -n 1,16p
scripts/wine-run "$winhost" render "$dll" "$out/demo.wav" "$out/demo-eq-wine.wav" "${settings[@]}"
scripts/wine-run "$winhost" response "$dll" "${settings[@]}" --rate 48000
echo
echo "== The VST3 and CLAP builds, on Linux and under Wine, against the VST2 plug-in"
# same NAME A B: says whether two renders hold the same bytes; a difference ends the demo.
same() {
    if cmp -s "$2" "$3"; then
        echo "$1 equals the VST2 render bit for bit."
    else
        echo "$1 DIFFERS from the VST2 render."
        exit 1
    fi
}
"$host" render build/linux/plugin/VLMTarvix.vst3 "$out/demo.wav" "$out/demo-eq-vst3.wav" \
    "${settings[@]}" >/dev/null
same "The Linux VST3 render" "$out/demo-eq.wav" "$out/demo-eq-vst3.wav"
"$host" render build/linux/plugin/VLMTarvix.clap "$out/demo.wav" "$out/demo-eq-clap.wav" \
    "${settings[@]}" >/dev/null
same "The Linux CLAP render" "$out/demo-eq.wav" "$out/demo-eq-clap.wav"
scripts/wine-run "$winhost" render build/windows/plugin/VLMTarvix.vst3 "$out/demo.wav" \
    "$out/demo-eq-wine-vst3.wav" "${settings[@]}" >/dev/null
same "The Windows VST3 render under Wine" "$out/demo-eq-wine.wav" "$out/demo-eq-wine-vst3.wav"
scripts/wine-run "$winhost" render build/windows/plugin/VLMTarvix.clap "$out/demo.wav" \
    "$out/demo-eq-wine-clap.wav" "${settings[@]}" >/dev/null
same "The Windows CLAP render under Wine" "$out/demo-eq-wine.wav" "$out/demo-eq-wine-clap.wav"
echo
echo "== The LV2 bundle through Debian's lv2apply, against the VST2 plug-in"
# Both render the same 32-bit float input (the demo as vsthost reads it: the switched-out
# equaliser passes it through bit for bit) to 32-bit float, so that no host's own conversion to
# integers stands between the two.
lv2dir=$(cd "$out" && pwd)/lv2
rm -rf "$lv2dir"
mkdir -p "$lv2dir"
ln -s "$(pwd)/build/linux/plugin/VLMTarvix.lv2" "$lv2dir/VLMTarvix.lv2"
"$host" render "$so" "$out/demo.wav" "$out/demo-float.wav" --float --in off >/dev/null
"$host" render "$so" "$out/demo-float.wav" "$out/demo-eq-vst2-float.wav" --float "${settings[@]}" \
    >/dev/null
lv2_settings=()
symbols=(band_31hz band_63hz band_125hz band_250hz band_500hz band_1khz band_2khz band_4khz
    band_8khz band_16khz)
for ((i = 1; i < ${#settings[@]}; i += 2)); do
    k=${settings[$i]%%=*}
    lv2_settings+=(-c "${symbols[$((k - 1))]}" "${settings[$i]#*=}")
done
echo "lv2apply ${lv2_settings[*]} https://velmora.example/plugins/tarvix"
LV2_PATH=$lv2dir lv2apply -i "$out/demo-float.wav" -o "$out/demo-eq-lv2.wav" "${lv2_settings[@]}" \
    https://velmora.example/plugins/tarvix
if python3 tests/lv2/wav.py same "$out/demo-eq-vst2-float.wav" "$out/demo-eq-lv2.wav"; then
    echo "The LV2 render equals the VST2 render bit for bit."
else
    echo "The LV2 render DIFFERS from the VST2 render."
    exit 1
fi
echo
echo "Demo input:           $out/demo.wav"
echo "Rendered (Linux):     $out/demo-eq.wav"
echo "Rendered (Wine/DLL):  $out/demo-eq-wine.wav"
echo "Rendered (VST3/CLAP): $out/demo-eq-vst3.wav, $out/demo-eq-clap.wav (and -wine- under Wine)"
echo "Rendered (LV2):       $out/demo-eq-lv2.wav (32-bit float, as $out/demo-eq-vst2-float.wav)"
echo "Response plot:        $out/response.png"
echo "Plug-in binaries:"
echo "  Linux VST2:         $(pwd)/$so"
echo "  Windows VST2 (x64): $(pwd)/$dll"
echo "  Linux LV2 bundle:   $(pwd)/build/linux/plugin/VLMTarvix.lv2"
echo "  VST3 bundles:       $(pwd)/build/linux/plugin/VLMTarvix.vst3, $(pwd)/build/windows/plugin/VLMTarvix.vst3"
echo "  CLAP plug-ins:      $(pwd)/build/linux/plugin/VLMTarvix.clap, $(pwd)/build/windows/plugin/VLMTarvix.clap"
