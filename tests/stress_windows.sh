#!/usr/bin/env bash
# The window tests on a machine kept busy: runs the X11 editor test and the two Wine editor tests
# ROUNDS times each while stress-ng keeps every core busy, and counts the failures. A window
# test waits on conditions, not for guessed times, so it must pass here as on a quiet machine.
# Not part of the usual test command: it takes long and loads the machine on purpose.
#
# Usage: tests/stress_windows.sh [ROUNDS] [LINUX_BUILD] [WINDOWS_BUILD]
#   ROUNDS defaults to 10, the builds to build/linux and build/windows (the linux and windows
#   presets, built). STRESS_CPUS sets the number of busy workers (default 2). The output of every
#   failed run is kept in build/stress-windows/.
set -u

rounds=${1:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
linux=${2:-$root/build/linux}
windows=${3:-$root/build/windows}
results=$root/build/stress-windows
cpus=${STRESS_CPUS:-2}

if ! command -v stress-ng >/dev/null 2>&1; then
    echo "stress-ng is not installed (Debian package stress-ng)" >&2
    exit 2
fi
tests=()
[ -f "$linux/CTestTestfile.cmake" ] && tests+=("$linux x11_editor")
[ -f "$windows/CTestTestfile.cmake" ] && tests+=("$windows wine_editor" "$windows wine_dll_editor")
if [ ${#tests[@]} -eq 0 ]; then
    echo "neither $linux nor $windows is a configured build folder" >&2
    exit 2
fi
rm -rf "$results"
mkdir -p "$results"

# The load outlives no test run: it ends with this script, and by its own limit at the latest.
stress-ng --cpu "$cpus" --timeout $((rounds * 900))s >"$results/stress-ng.log" 2>&1 &
stress_pid=$!
trap 'kill "$stress_pid" 2>/dev/null; wait "$stress_pid" 2>/dev/null' EXIT
echo "stress-ng --cpu $cpus running (pid $stress_pid); $rounds rounds"

declare -A runs failures times
for round in $(seq "$rounds"); do
    for entry in "${tests[@]}"; do
        read -r build name <<<"$entry"
        start=${EPOCHREALTIME//[.,]/}
        ctest --test-dir "$build" -R "^$name\$" --output-on-failure >"$results/run.log" 2>&1
        status=$?
        seconds=$(((${EPOCHREALTIME//[.,]/} - start) / 1000000))
        # A skip would count as a pass here, so a run must say that it passed.
        if [ $status -eq 0 ] && grep -q "100% tests passed" "$results/run.log" &&
            ! grep -q "Skipped\|Not Run" "$results/run.log"; then
            verdict=pass
        else
            verdict=FAIL
            failures[$name]=$((${failures[$name]:-0} + 1))
            cp "$results/run.log" "$results/$name-round$round.log"
        fi
        runs[$name]=$((${runs[$name]:-0} + 1))
        times[$name]="${times[$name]:-} $seconds"
        echo "round $round: $name $verdict in $seconds s"
    done
done
rm -f "$results/run.log"

total=0
echo "Under stress-ng --cpu $cpus:"
for entry in "${tests[@]}"; do
    read -r _ name <<<"$entry"
    median=$(tr ' ' '\n' <<<"${times[$name]}" | sed '/^$/d' | sort -n |
        awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
    echo "  $name: ${failures[$name]:-0} failed of ${runs[$name]} (median $median s)"
    total=$((total + ${failures[$name]:-0}))
done
[ $total -eq 0 ] && exit 0
echo "Logs of the failed runs: $results"
exit 1
