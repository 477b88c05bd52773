#!/usr/bin/env bash
# Starts velliport headless with a scratch data home, waits for the start-up line in
# the day's log, asks it to close (as a session log-out does) and expects a clean end.
set -euo pipefail
program=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_DATA_HOME=$home/share XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=offscreen
"$program" >"$home/stdout" 2>"$home/stderr" &
pid=$!
log="$XDG_DATA_HOME/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260/qlogs/log-$(date +%Y%m%d).txt"
for _ in $(seq 1 100); do
    grep -qE '^\(D [0-9]{2}:[0-9]{2}:[0-9]{2}\) Velliport [0-9.]+ started, data folder ' "$log" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || { echo "velliport ended early"; cat "$home/stderr"; exit 1; }
    sleep 0.1
done
grep -q 'started, data folder' "$log" || { echo "no start-up line in $log"; cat "$home/stderr"; exit 1; }
kill -TERM "$pid"
code=0
wait "$pid" || code=$?
[ "$code" -eq 0 ] || { echo "velliport ended with code $code"; cat "$home/stderr"; exit 1; }
grep -q 'Velliport ended with code 0' "$log" || { echo "no end line in the log"; exit 1; }
echo "velliport started, logged and closed cleanly"
