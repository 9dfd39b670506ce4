#!/usr/bin/env bash
# Runs the VST 2.4 validator (vsthost validate) at strictness 10 on the plug-in built here:
# the Linux .so natively and the DLL under Wine, each with a private Xvfb display for the
# editor tests, then on a third-party VST 2.4 plug-in from Debian's packages to show that the
# validator is fair. Our plug-ins must pass; the third party's results are recorded in
# build/validate/ and only a crash or hang of the validator itself fails this script.
# Installs nothing: scripts/setup.sh brings lsp-plugins-vst.
# Environment: VLM_NATIVE_BUILD (default build/linux), VLM_WINDOWS_BUILD (build/windows),
# VLM_VALIDATE_SEED (1), VLM_THIRD_PARTY (the LSP graphic equaliser).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
native=${VLM_NATIVE_BUILD:-build/linux}
windows=${VLM_WINDOWS_BUILD:-build/windows}
seed=${VLM_VALIDATE_SEED:-1}
third=${VLM_THIRD_PARTY:-/usr/lib/vst/lsp-plugins/graph-equalizer-x16-stereo.so}
out=build/validate
mkdir -p "$out"
# One test may take this long; a whole run at most this long (both in seconds).
test_timeout=300
run_timeout=3600

. "$root/scripts/xvfb.sh"
trap xvfb_stop EXIT

# run NAME TOOL... [--json]: the validator's report goes to $out/NAME.txt (or .json) and is
# shown; answers the validator's exit code (0 all passed, 1 a test failed, other: it broke).
run() {
    local name=$1
    shift
    local file="$out/$name.txt"
    case " $* " in *" --json "*) file="$out/$name.json" ;; esac
    local code=0
    timeout --kill-after=30 "$run_timeout" "$@" --strictness 10 --seed "$seed" \
        --timeout "$test_timeout" >"$file" 2>"$out/$name.err" || code=$?
    cat "$file"
    return "$code"
}

status=0
xvfb_start "$out/xvfb.log" || echo "validate: no display; the editor tests will be skipped" >&2

echo "== validate: Linux plug-in ($native)"
if ! run linux "$native/tools/vsthost/vsthost" validate "$native/plugin/VLMTarvix.so"; then
    echo "validate: the Linux plug-in failed validation" >&2
    status=1
fi

echo "== validate: Windows plug-in under Wine ($windows)"
if ! run windows "$root/scripts/wine-run" "$windows/tools/vsthost/vsthost.exe" validate \
    "$windows/plugin/VLMTarvix.dll"; then
    echo "validate: the Windows plug-in failed validation" >&2
    status=1
fi

echo "== validate: third-party plug-in ($third)"
if [ -f "$third" ]; then
    code=0
    run third-party "$native/tools/vsthost/vsthost" validate "$third" --json || code=$?
    if [ "$code" -gt 1 ]; then
        echo "validate: the validator itself did not complete on the third-party plug-in" \
            "(exit code $code)" >&2
        status=1
    else
        echo "validate: third-party results recorded in $out/third-party.json" \
            "(its failures are its own and do not fail this script)"
    fi
else
    echo "validate: $third is not installed (scripts/setup.sh installs lsp-plugins-vst);" \
        "third-party run skipped"
fi
exit "$status"
