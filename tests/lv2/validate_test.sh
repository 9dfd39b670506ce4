#!/usr/bin/env bash
# Debian's lv2_validate on the bundle's Turtle files: no error. Skips (exit 77) when it is
# missing (packages lv2-dev and sordi).
# Usage: validate_test.sh BUNDLE_DIR
set -u
bundle=${1:?LV2 bundle}
if ! command -v lv2_validate >/dev/null 2>&1 || ! command -v sord_validate >/dev/null 2>&1; then
    echo "SKIP: lv2_validate or sord_validate is not installed (Debian packages lv2-dev, sordi)"
    exit 77
fi
report=$(lv2_validate "$bundle"/*.ttl 2>&1)
echo "$report" | grep -v "^Skipping file"
if echo "$report" | grep -q "^Found 0 errors"; then
    echo "PASS: lv2_validate finds no error in the bundle"
    exit 0
fi
echo "FAIL: lv2_validate reports errors in the bundle"
exit 1
