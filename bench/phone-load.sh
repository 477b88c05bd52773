#!/usr/bin/env bash
# phone-load: AndroidLoadViberThread loading a simulated rooted phone of N messages
# (200000) over M chats (500) by the root route (stop Viber, root copies to the staging
# folder, agent downloads, load, attachments), against the same phone's database files
# downloaded straight through one agent session plus AndroidViberDb::load() of them;
# best of 2 each, alternating. database_ratio sets the run up to its first attachment
# (what the floor does, plus stopping Viber and staging the copies) against the floor;
# the rest of the run asks the phone for each media file. The phone is
# velliport-gen-android's (the one android-load uses) without its media files, so every
# request is answered with an empty transfer, as on a phone whose media was cleared.
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
best() { sort -g | head -n1; }

load_times=()
database_times=()
floor_times=()
load_line=""
floor_line=""
for _ in 1 2; do
    rm -rf "$work/download"
    floor_line="$("$build/bin/velliport-bench-phone" download "$state" "$serial" "$work/download")"
    floor_times+=("$(echo "$floor_line" | field download_load_s)")
    load_line="$("$build/bin/velliport-bench-phone" load "$state" "$serial")"
    load_times+=("$(echo "$load_line" | field load_s)")
    database_times+=("$(echo "$load_line" | field database_s)")
done

load_best="$(printf '%s\n' "${load_times[@]}" | best)"
floor_best="$(printf '%s\n' "${floor_times[@]}" | best)"
database_best="$(printf '%s\n' "${database_times[@]}" | best)"
ratio="$(awk -v l="$load_best" -v f="$floor_best" 'BEGIN { printf "%.3f", l / f }')"
database_ratio="$(awk -v l="$database_best" -v f="$floor_best" 'BEGIN { printf "%.3f", l / f }')"
echo "RESULT phone-load ratio=$ratio load_s=$load_best download_load_s=$floor_best" \
    "database_ratio=$database_ratio database_s=$database_best attachments_s=$(echo "$load_line" | field attachments_s)" \
    "messages=$(echo "$load_line" | field messages) attachments=$(echo "$load_line" | field attachments)" \
    "failed_attachments=$(echo "$load_line" | field failed_attachments)" \
    "floor_parts: session_s=$(echo "$floor_line" | field session_s) download_s=$(echo "$floor_line" | field download_s)" \
    "db_load_s=$(echo "$floor_line" | field db_load_s) bytes=$(echo "$floor_line" | field bytes)" \
    "loads=${load_times[*]} floors=${floor_times[*]}"
