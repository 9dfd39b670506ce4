#!/usr/bin/env bash
# Builds and runs every test: native (optimised, and with the sanitizers), the Windows build
# under Wine, the packages users download, then the reliability checks (fuzzing, threads,
# realtime safety, soak) and the validator on the built plug-ins. Ends non-zero on the first
# failure.
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
for extra in scripts/package.sh scripts/check-packages.sh scripts/reliability.sh \
    scripts/validate.sh; do
    echo "== $extra"
    "$extra"
done
echo "All tests passed."
