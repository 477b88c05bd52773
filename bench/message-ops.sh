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

source "$(dirname "$0")/working-phone.sh"
working_phone $((messages + messages / 20)) "$chats"

"$build/bin/velliport-bench-ops" "$name" "$work" "$work/out" "$messages"
