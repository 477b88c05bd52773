#!/usr/bin/env bash
# Builds the fuzz tree build-fuzz/ (clang, -DVELLIPORT_FUZZ=ON) when needed and runs one
# libFuzzer target for the given seconds on a copy of its seed corpus.
#   scripts/fuzz.sh fuzz_blobcodec 60
# Targets: fuzz_blobcodec fuzz_backuparchive fuzz_simpleprotocol fuzz_portwarden fuzz_bubbletext
#          fuzz_adbdevices fuzz_devicedescription fuzz_previewimage
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
    echo "usage: $0 TARGET SECONDS" >&2
    exit 2
fi
target=$1
seconds=$2
scripts/install-deps.sh --fuzz
if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLIPORT_FUZZ=ON
fi
cmake --build build-fuzz --target "$target"
seeds=tests/fuzz/corpus/$target
work=build-fuzz/corpus/$target
mkdir -p "$work" build-fuzz/artifacts
[ -d "$seeds" ] && cp -n "$seeds"/* "$work"/ 2>/dev/null || true
QT_QPA_PLATFORM=offscreen build-fuzz/bin/"$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix=build-fuzz/artifacts/ "$work"
