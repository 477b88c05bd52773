#!/usr/bin/env bash
# phone-load: AndroidLoadViberThread loading a simulated rooted phone of N messages
# (200000) over M chats (500) by the root route (stop Viber, root copies to the staging
# folder, agent downloads, load, attachments), against the same phone's database files
# downloaded straight through one agent session plus AndroidViberDb::load() of them;
# the median of five each, taking turns, so that one lucky or unlucky run on a shared
# machine cannot decide. database_ratio sets the run up to its first attachment
# (what the floor does, plus stopping Viber, staging the copies and learning which
# media files the phone holds) against the floor. The phone is velliport-gen-android's
# (the one android-load uses) without its media files, as a phone whose media was
# cleared: its media folders list no file, and no media file is downloaded.
#
#   phone-load.sh BUILD [--messages N] [--chats M]
set -euo pipefail
build="$1"
shift
messages=200000
chats=500
while [ $# -gt 0 ]; do
    case "$1" in
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

data="$build/bench-data/android-$messages-$chats"
if [ ! -f "$data/ab-extract/apps/com.viber.voip/db/viber_messages" ]; then
    echo "generating $messages messages over $chats chats..." >&2
    "$build/bin/velliport-gen-android" "$data" "$messages" "$chats" >/dev/null
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/velliport-bench.XXXXXX")"
source "$(dirname "$0")/phone-lib.sh"
trap 'rm -rf "$work"' EXIT
put_phone "$data"

field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" | head -n1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

load_times=()
database_times=()
floor_times=()
load_line=""
floor_line=""
for _ in 1 2 3 4 5; do
    rm -rf "$work/download"
    floor_line="$("$build/bin/velliport-bench-phone" download "$state" "$serial" "$work/download")"
    floor_times+=("$(echo "$floor_line" | field download_load_s)")
    load_line="$("$build/bin/velliport-bench-phone" load "$state" "$serial")"
    load_times+=("$(echo "$load_line" | field load_s)")
    database_times+=("$(echo "$load_line" | field database_s)")
done

load_median="$(printf '%s\n' "${load_times[@]}" | median)"
floor_median="$(printf '%s\n' "${floor_times[@]}" | median)"
database_median="$(printf '%s\n' "${database_times[@]}" | median)"
ratio="$(awk -v l="$load_median" -v f="$floor_median" 'BEGIN { printf "%.3f", l / f }')"
database_ratio="$(awk -v l="$database_median" -v f="$floor_median" 'BEGIN { printf "%.3f", l / f }')"
echo "RESULT phone-load ratio=$ratio load_s=$load_median download_load_s=$floor_median" \
    "database_ratio=$database_ratio database_s=$database_median attachments_s=$(echo "$load_line" | field attachments_s)" \
    "messages=$(echo "$load_line" | field messages) attachments=$(echo "$load_line" | field attachments)" \
    "failed_attachments=$(echo "$load_line" | field failed_attachments)" \
    "floor_parts: session_s=$(echo "$floor_line" | field session_s) download_s=$(echo "$floor_line" | field download_s)" \
    "db_load_s=$(echo "$floor_line" | field db_load_s) bytes=$(echo "$floor_line" | field bytes)" \
    "loads=${load_times[*]} floors=${floor_times[*]}"
