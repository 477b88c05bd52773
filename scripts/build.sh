#!/usr/bin/env bash
# Configures and builds the default tree build/ (every program lands in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
generator=()
command -v ninja >/dev/null && [ ! -f build/CMakeCache.txt ] && generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" "$@"
cmake --build build --parallel "$(nproc)"
