#!/usr/bin/env bash
# search: the history search over D local databases (5) of N messages each (200000),
# backed up from one synthetic phone of D*N messages (5% more: the load drops those the
# app marked deleted) over M chats (2500), generated once into BUILD/bench-data. Prints
# the RESULT line of velliport-bench-search: query p95/p50/max in ms over every
# database, and the index's time over the backup's time without it.
#
#   search.sh BUILD [--databases D] [--messages N] [--chats M]
set -euo pipefail
build="$1"
shift
databases=5
messages=200000
chats=2500
while [ $# -gt 0 ]; do
    case "$1" in
    --databases) databases="$2"; shift 2 ;;
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
total=$((databases * messages))
source "$(dirname "$0")/working-phone.sh"
working_phone $((total + total / 20)) "$chats"
mkdir -p "$work/data-home"
XDG_DATA_HOME="$work/data-home" QT_LOGGING_RULES="${QT_LOGGING_RULES:-*.debug=false}" \
    "$build/bin/velliport-bench-search" "$work" "$databases" "$messages"
