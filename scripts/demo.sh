#!/usr/bin/env bash
# The main job: builds the plug-ins and runs audio through them with the host tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
for preset in linux windows; do
    cmake --preset "$preset" -DVLM_TESTS=OFF >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
