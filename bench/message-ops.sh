#!/usr/bin/env bash
# The message-operation benchmarks (backup, html-export, json-export) on N messages (200000) of a
# synthetic phone with M chats (500). The load drops the rows the app marked deleted
# (about one in twenty) and adds the calls, so the phone is generated with 5% more
# messages and the first N of the data set are taken. It is generated once into
# BUILD/bench-data as the android-load benchmark does (remove that folder to generate
# afresh). The data set is loaded with AndroidViberDb from a fresh working copy;
# velliport-bench-ops times the worker and its baseline in one process and prints the
# RESULT line.
#
#   message-ops.sh BUILD NAME [--messages N] [--chats M]
set -euo pipefail
build="$1"
name="$2"
shift 2
messages=200000
chats=500
while [ $# -gt 0 ]; do
    case "$1" in
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

generated=$((messages + messages / 20))
data="$build/bench-data/android-$generated-$chats"
source_db="$data/ab-extract/apps/com.viber.voip/db/viber_messages"
if [ ! -f "$source_db" ]; then
    echo "generating $generated messages over $chats chats..." >&2
    "$build/bin/velliport-gen-android" "$data" "$generated" "$chats" >/dev/null
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/velliport-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ab-extract/apps/com.viber.voip/db"
cp "$source_db" "$work/ab-extract/apps/com.viber.voip/db/"
source_data="$(dirname "$source_db")/viber_data"
[ -f "$source_data" ] && cp "$source_data" "$work/ab-extract/apps/com.viber.voip/db/"

"$build/bin/velliport-bench-ops" "$name" "$work" "$work/out" "$messages"
