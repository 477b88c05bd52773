#!/usr/bin/env bash
# gui-open: the main window over a local database of N messages (200000) in M chats
# (500), one of them holding B messages (20000), against IOSViberDb::load() of the
# same database (its data set kept beyond the timed block), taking turns, medians of
# five; max_stall_ms is the longest time the window's event loop was held from its
# show() to the largest chat's page (open_stall_ms up to the newest chat's page,
# chat_stall_ms from there). The phone is generated and backed up into a local
# database once, into BUILD/bench-data (remove that folder to start afresh).
#
#   gui-open.sh BUILD [--messages N] [--chats M] [--big-chat B]
set -euo pipefail
build="$1"
shift
messages=200000
chats=500
big=20000
while [ $# -gt 0 ]; do
    case "$1" in
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    --big-chat) big="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

generated=$((messages + messages / 20))
phone="$build/bench-data/android-$generated-$chats-big$big"
home="$build/bench-data/gui-home-$generated-$chats-big$big"
database="$home/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260/local_databases/Bench"
export XDG_DATA_HOME="$home" QT_QPA_PLATFORM=offscreen
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [ ! -f "$database/Documents/Contacts-kestrune.data" ]; then
    if [ ! -f "$phone/ab-extract/apps/com.viber.voip/db/viber_messages" ]; then
        echo "generating $generated messages over $chats chats..." >&2
        "$build/bin/velliport-gen-android" "$phone" "$generated" "$chats" 20140513 "$big" >/dev/null
    fi
    work="$(mktemp -d "${TMPDIR:-/tmp}/velliport-bench.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    cp -r "$phone/ab-extract" "$work/"
    echo "backing it up into a local database..." >&2
    rm -rf "$home"
    mkdir -p "$(dirname "$database")"
    "$build/bin/velliport-bench-gui" prepare "$work" "$database"
fi
"$build/bin/velliport-bench-gui" run
