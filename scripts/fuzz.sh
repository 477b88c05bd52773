#!/usr/bin/env bash
# Builds the fuzz tree build-fuzz/ (clang, -DVELLIPORT_FUZZ=ON) when needed and runs
# libFuzzer targets on copies of their seed corpora.
#   scripts/fuzz.sh fuzz_blobcodec 600    one target for ten minutes
#   scripts/fuzz.sh --all 15              every target for 15 seconds, two at a time
# A finding ends the run with a failure and leaves its input in build-fuzz/artifacts/;
# add it to the target's corpus under tests/fuzz/corpus once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(fuzz_blobcodec fuzz_backuparchive fuzz_simpleprotocol fuzz_portwarden fuzz_bubbletext
    fuzz_adbdevices fuzz_devicedescription fuzz_previewimage fuzz_propertylist)
if [ $# -ne 2 ]; then
    echo "usage: $0 TARGET|--all SECONDS" >&2
    exit 2
fi
[ "$1" = "--all" ] || targets=("$1")
seconds=$2
scripts/install-deps.sh --fuzz
if [ ! -f build-fuzz/CMakeCache.txt ]; then
    # Unoptimised with line tables, in unity units as the test tree: it builds in a
    # fraction of the time of an optimised tree, which matters more for CI's short runs
    # than the speed of each execution, and findings still name their lines. FUZZ_CXX_FLAGS="-O1 -gline-tables-only" on the
    # first configuration makes a tree for long runs.
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG="${FUZZ_CXX_FLAGS:--O0 -gline-tables-only}" -DVELLIPORT_FUZZ=ON \
        -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16
fi
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}"
mkdir -p build-fuzz/artifacts build-fuzz/logs

run_one() {
    local target=$1
    local work=build-fuzz/corpus/$target
    mkdir -p "$work"
    cp -n tests/fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true
    if QT_QPA_PLATFORM=offscreen build-fuzz/bin/"$target" -max_total_time="$seconds" -timeout=20 \
        -rss_limit_mb=2048 -artifact_prefix=build-fuzz/artifacts/"$target"- "$work" \
        >build-fuzz/logs/"$target".log 2>&1; then
        echo "$target: $(grep -E '^Done [0-9]+ runs' build-fuzz/logs/"$target".log || echo done)"
    else
        echo "$target: FINDING (build-fuzz/logs/$target.log)"
        tail -n 40 build-fuzz/logs/"$target".log
        return 1
    fi
}

failed=0
pids=()
for target in "${targets[@]}"; do
    run_one "$target" &
    pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid" || failed=1
done
exit $failed
