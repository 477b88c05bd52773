#!/usr/bin/env bash
# Installs what is missing, builds the test tree build-check/ and runs every test headless.
#
# The test tree is built unoptimised with AddressSanitizer and UndefinedBehaviorSanitizer
# (leak checks on), so every test also checks memory use and arithmetic; without debug
# information it builds in less time than an optimised tree (reports still name the
# functions, and undefined behaviour its lines). Sources are compiled sixteen to a unit
# (CMake's unity build), which reads the Qt headers once per unit instead of once per
# file and takes about a third off the build; it also keeps the helpers of different
# files from sharing a name. The program as people run it is built in build/ by
# scripts/run.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
tree=build-check
generator=()
command -v ninja >/dev/null && [ ! -f "$tree/CMakeCache.txt" ] && generator=(-G Ninja)
cmake -S . -B "$tree" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0" \
    -DVELLIPORT_ASAN=ON -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16
cmake --build "$tree" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir "$tree" --output-on-failure --parallel "$(nproc)"
