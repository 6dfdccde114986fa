#!/usr/bin/env bash
# The test command: installs what is missing, builds every preset and runs every test.
# Exits non-zero when any stage fails. Pass preset names to run only those.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
    presets=(linux linux-asan linux-tsan windows fuzz bench)
fi

jobs=$(nproc)
failed=()
summary=()
start_all=$(date +%s)

for preset in "${presets[@]}"; do
    start=$(date +%s)
    echo "==== $preset: configure and build"
    log="build/$preset-build.log"
    mkdir -p build
    if cmake --preset "$preset" >"$log" 2>&1 &&
        cmake --build --preset "$preset" -j "$jobs" >>"$log" 2>&1; then
        if [ "$preset" = bench ]; then
            # Figures are taken by hand on a quiet machine (bench/README.md); here every
            # benchmark only has to run, and each side of a pairing to find what it should.
            echo "==== $preset: run once"
            for program in build/bench/bin/bench_*; do
                if ! "$program" >"$log.run" 2>&1 || grep -q "ERROR OCCURRED" "$log.run"; then
                    tail -n 20 "$log.run"
                    failed+=("$preset ($(basename "$program"))")
                fi
            done
            summary+=("$preset: $(($(date +%s) - start)) s")
            continue
        fi
        echo "==== $preset: test"
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
        if ! ctest --preset "$preset" -j "$jobs" --timeout 900; then
            failed+=("$preset")
        fi
        # The long runs after the rest, so that a quick pass over the others stays quick.
        if [ "$preset" = linux ] && ! ctest --preset linux-long -j "$jobs" --timeout 900; then
            failed+=("linux-long")
        fi
    else
        tail -n 60 "$log"
        failed+=("$preset (build)")
    fi
    summary+=("$preset: $(($(date +%s) - start)) s")
done

echo "==== stage times"
printf '  %s\n' "${summary[@]}"
echo "  all: $(($(date +%s) - start_all)) s"
if [ ${#failed[@]} -ne 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "All presets passed."
