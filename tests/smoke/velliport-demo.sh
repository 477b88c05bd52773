#!/usr/bin/env bash
# Starts velliport headless through the demo script with the phone simulator first on PATH:
# it must run on the demo data home, with the sample database and the sample phone in
# place, open at the database's group chat, and end cleanly; the data home it was started from must stay empty, and a folder
# that is not a demo folder must be refused and kept.
set -euo pipefail
demo=$1
bin=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "$1"
    cat "$scratch/stdout" "$scratch/stderr" 2>/dev/null || true
    exit 1
}
export XDG_DATA_HOME=$scratch/own-share XDG_CONFIG_HOME=$scratch/config QT_QPA_PLATFORM=offscreen
export PATH="$bin/phonesim:$PATH"
mkdir -p "$XDG_DATA_HOME"
home=$scratch/demo-home
data=$home/share/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260

"$demo" "$home" "$bin" >"$scratch/stdout" 2>"$scratch/stderr" &
pid=$!
log="$data/qlogs/log-$(date +%Y%m%d).txt"
for _ in $(seq 1 300); do
    grep -q "started, data folder $data" "$log" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || fail "the demo ended early"
    sleep 0.1
done
grep -q "started, data folder $data" "$log" || fail "no start-up line on the demo data folder in $log"
# The window opens on the demo database at its group chat.
for _ in $(seq 1 300); do
    grep -q "showing the local database Demo at the chat Weekend hike" "$log" 2>/dev/null && break
    sleep 0.1
done
grep -q "showing the local database Demo at the chat Weekend hike" "$log" || fail "the demo did not open at its group chat"
[ -f "$data/local_databases/Demo/Documents/Contacts-kestrune.data" ] || fail "no demo database"
[ -f "$home/phonesim/devices/SIM0001/device.ini" ] || fail "no simulated sample phone"
kill -TERM "$pid"
code=0
wait "$pid" || code=$?
[ "$code" -eq 0 ] || fail "velliport ended with code $code"
[ -z "$(ls -A "$XDG_DATA_HOME")" ] || fail "the demo wrote into the data home it was started from"

# A second start makes the demo afresh.
echo stale >"$data/local_databases/stale"
"$demo" "$home" "$bin" /bin/true >"$scratch/stdout" 2>"$scratch/stderr" || fail "a second demo start failed"
[ ! -e "$data/local_databases/stale" ] || fail "the second start kept the old demo"

mkdir "$scratch/keep"
echo mine >"$scratch/keep/file"
if "$demo" "$scratch/keep" "$bin" /bin/true >"$scratch/stdout" 2>"$scratch/stderr"; then
    fail "a folder that is not a demo folder was taken"
fi
[ "$(cat "$scratch/keep/file")" = mine ] || fail "a folder that is not a demo folder was changed"
echo "the demo started on its own data home and left everything else alone"
