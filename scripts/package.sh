#!/usr/bin/env bash
# Makes the packages users download, in build/packages/: a .deb and a .tar.gz from the linux
# preset, a .zip from the windows preset. Builds only what ships (the plug-in and vsthost) in
# each preset's build directory, then packs it with CPack. Installs nothing (scripts/setup.sh
# does); ends non-zero at the first error, saying which step failed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/build/packages
jobs=$(nproc)
step="starting"
trap 'echo "package: failed while $step" >&2' ERR

rm -rf "$out"
mkdir -p "$out"
for preset in linux windows; do
    step="configuring the $preset preset"
    echo "== package: $preset"
    cmake --preset "$preset" >/dev/null
    step="building the $preset plug-ins and host tool"
    cmake --build --preset "$preset" -j "$jobs" --target vlm_tarvix vlm_tarvix_vst3 vsthost
    step="packing the $preset build with CPack"
    cpack --config "build/$preset/CPackConfig.cmake" -B "$out"
done
# CPack's staging folder is no download.
rm -rf "$out/_CPack_Packages"
echo "Packages in build/packages/:"
ls -l "$out"
