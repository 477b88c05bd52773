#!/usr/bin/env bash
# Builds what the benchmarks need in Release (its own tree, build-bench/, through the
# shared build lock) and runs benchmark NAME. Every benchmark ends by printing
#   RESULT NAME ratio=R <figures>
# with R = measured time / baseline time of the same run.
#
#   bench/run.sh NAME [ARGS]
#   bench/run.sh android-load [--modern] [--messages N] [--chats M] [PATH]
#   bench/run.sh merge-scaling
#   bench/run.sh merge-vs-backup
#   bench/run.sh json-export [--messages N] [--chats M]
#   bench/run.sh html-archive [--messages N] [--chats M] [--word WORD]
#   bench/run.sh gui-open [--messages N] [--chats M] [--big-chat B]
#   bench/run.sh phone-load [--messages N] [--chats M]
#   bench/run.sh transfer [--modern]
#   bench/run.sh iphone-load [--encrypted] [--messages N] [--chats M]
#   bench/run.sh search [--databases D] [--messages N] [--chats M]
#   bench/run.sh growth NAME    (NAME at 200,000 messages and at 2,000,000: growth=)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELLIPORT_BENCH_BUILD:-$root/build-bench}"
lock=/tmp/velliport-build.lock

usage() {
    echo "usage: bench/run.sh NAME [ARGS]; benchmarks: android-load, merge-scaling, merge-vs-backup, backup, html-export, html-archive, json-export, gui-open, phone-load, transfer [--modern], iphone-load [--encrypted], search, growth NAME" >&2
    exit 2
}
[ $# -ge 1 ] || usage
name="$1"
shift
# growth runs another benchmark twice, each through this script.
[ "$name" = growth ] && exec "$root/bench/growth.sh" "$@"

case "$name" in
android-load) targets=(velliport-gen-android velliport-bench-load) ;;
merge-scaling | merge-vs-backup) targets=(velliport-gen-android velliport-bench-merge) ;;
backup | html-export | json-export) targets=(velliport-gen-android velliport-bench-ops velliport_assets) ;;
html-archive) targets=(velliport-gen-android velliport-bench-archive velliport_assets) ;;
gui-open) targets=(velliport-gen-android velliport-bench-gui velliport_assets) ;;
phone-load) targets=(velliport-gen-android velliport-bench-phone phonesim) ;;
transfer) targets=(velliport-gen-android velliport-bench-merge velliport-bench-phone phonesim) ;;
iphone-load) targets=(velliport-gen-iphone velliport-bench-iphone) ;;
search) targets=(velliport-gen-android velliport-bench-search) ;;
*) usage ;;
esac

generator=()
command -v ninja >/dev/null && [ ! -f "$build/CMakeCache.txt" ] && generator=(-G Ninja)
flock "$lock" cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
flock "$lock" cmake --build "$build" --parallel 2 --target "${targets[@]}" >/dev/null

exec "$root/bench/$name.sh" "$build" "$@"
