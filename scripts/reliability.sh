#!/usr/bin/env bash
# Reliability checks, run by scripts/test.sh after the linux, linux-asan and windows builds:
#   1. each libFuzzer target for a bounded time, from its committed seeds (fuzz preset);
#   2. the thread test under ThreadSanitizer (linux-tsan preset);
#   3. the soak, a million 512-frame blocks, in the sanitizer build of the fuzz preset, and the
#      same soak in the optimised linux build for the time-per-block figures.
# The realtime-safety test runs under CTest in the linux and linux-asan builds.
# Installs nothing (scripts/setup.sh does); ends non-zero on the first failure.
#
# Environment: VLM_FUZZ_SECONDS (20 per target), VLM_SOAK_BLOCKS (1000000), and the build
# directories VLM_FUZZ_BUILD (build/fuzz), VLM_TSAN_BUILD (build/linux-tsan), VLM_LINUX_BUILD
# (build/linux).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_build=${VLM_FUZZ_BUILD:-build/fuzz}
tsan_build=${VLM_TSAN_BUILD:-build/linux-tsan}
linux_build=${VLM_LINUX_BUILD:-build/linux}
fuzz_seconds=${VLM_FUZZ_SECONDS:-20}
soak_blocks=${VLM_SOAK_BLOCKS:-1000000}
jobs=$(nproc)
targets=(dispatcher chunk parameters process preset vst3_state clap_state)

fail() {
    echo "reliability: $*" >&2
    exit 1
}

command -v clang++-14 >/dev/null || fail "clang++-14 is missing (scripts/setup.sh installs clang)"
runtime_dir="$(clang++-14 -print-resource-dir)/lib/linux"
for runtime in fuzzer tsan asan; do
    [ -e "$runtime_dir/libclang_rt.$runtime-x86_64.a" ] ||
        fail "clang's $runtime runtime is missing from $runtime_dir (package libclang-rt-14-dev)"
done

echo "== reliability: build (fuzz and linux-tsan presets, own targets only)"
cmake --preset fuzz -B "$fuzz_build" >/dev/null
cmake --build "$fuzz_build" -j "$jobs" --target "${targets[@]/#/fuzz_}" reliability_soak
cmake --preset linux-tsan -B "$tsan_build" >/dev/null
cmake --build "$tsan_build" -j "$jobs" --target reliability_threads

echo "== reliability: fuzzing, ${fuzz_seconds} s per target"
# New inputs go to the build directory; the committed seeds are only read.
run_fuzzer() {
    local name=$1
    local work="$fuzz_build/fuzzing/$name"
    mkdir -p "$work/corpus"
    "$fuzz_build/tests/fuzz/fuzz_$name" -max_total_time="$fuzz_seconds" -len_control=0 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/" \
        "$work/corpus" "tests/fuzz/corpus/$name" >"$work/log" 2>&1
}
summary() {
    local name=$1
    local log="$fuzz_build/fuzzing/$name/log"
    local runs corpus
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -1 | cut -d' ' -f2)
    echo "fuzz_$name: ${runs:-?} executions, corpus ${corpus:-?} (inputs/bytes)"
}
# Two at a time: the machine has two cores.
failed=()
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pids=()
    for name in "${targets[@]:i:2}"; do
        run_fuzzer "$name" &
        pids+=("$!:$name")
    done
    for entry in "${pids[@]}"; do
        if ! wait "${entry%%:*}"; then
            failed+=("${entry#*:}")
        fi
    done
done
for name in "${targets[@]}"; do
    summary "$name"
done
for name in "${failed[@]}"; do
    echo "---- fuzz_$name found a fault; the input is kept in $fuzz_build/fuzzing/$name/"
    grep -E -A30 'INVARIANT|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' \
        "$fuzz_build/fuzzing/$name/log" | head -60
done
[ ${#failed[@]} -eq 0 ] || fail "fuzzing found faults in: ${failed[*]}"

echo "== reliability: threads under ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    "$tsan_build/tests/reliability/reliability_threads" --gtest_brief=1

echo "== reliability: soak, ${soak_blocks} blocks, sanitizer build"
"$fuzz_build/tests/reliability/reliability_soak" --blocks "$soak_blocks"

echo "== reliability: soak, ${soak_blocks} blocks, optimised build (time per block)"
if [ -d "$linux_build" ]; then
    cmake --build "$linux_build" -j "$jobs" --target reliability_soak >/dev/null
    "$linux_build/tests/reliability/reliability_soak" --blocks "$soak_blocks"
else
    echo "skipped: $linux_build has not been configured (cmake --preset linux)"
fi
echo "Reliability checks passed."
