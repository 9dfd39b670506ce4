#!/usr/bin/env bash
# Builds and runs every test: native (optimised and with sanitizers) and the Windows build
# under Wine. Ends non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
for preset in linux linux-asan windows; do
    echo "== $preset: build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "== $preset: test"
    ctest --preset "$preset" -j "$jobs"
done
echo "All tests passed."
