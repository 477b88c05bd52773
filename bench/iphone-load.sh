#!/usr/bin/env bash
# iphone-load: Viber's history read from an iPhone backup folder as the program reads it
# (the manifest and Contacts.data copied out, the records loaded, each attachment's file
# looked up in the manifest), each load a process of its own, the median of five,
# taking turns with its baseline. A synthetic history of N messages (200000) over M chats
# (500), one message in ten with a picture of a few KB and one in fifty with a voice
# message stored as the app's files, is generated once into BUILD/bench-data, both as an
# unencrypted and as an encrypted backup (remove that folder to generate afresh after
# changing the generator).
#
#   iphone-load.sh BUILD [--encrypted] [--messages N] [--chats M]
#
# Without --encrypted: the load of the unencrypted backup against a sqlite3 command-line
# scan of the rows it reads from Contacts.data (output to /dev/null).
#   RESULT iphone-load ratio=load/scan load_s=… scan_s=… messages=… media_files=…
# With --encrypted: the load of the encrypted backup against the load of the unencrypted
# one. Its keys are made with small iteration counts (1000 and 10), and the derivation is
# also timed alone, in a process of its own, and taken off: the ratio is
# (encrypted - derivation) / plain. Phone backups derive for seconds (10,000,000 and
# 10,000 iterations), which the window shows with its own progress.
#   RESULT iphone-load-encrypted ratio=R encrypted_s=… plain_s=… derivation_s=… messages=… media_files=…
# Then one more load of each, in phases, prints to stderr where the time goes (see
# velliport-bench-iphone phases). The private folders the loads copy and decrypt into
# are made under TMPDIR; TMPDIR on a tmpfs leaves out what the file system spends on
# making files.
set -euo pipefail
build="$1"
shift
messages=200000
chats=500
encrypted=0
while [ $# -gt 0 ]; do
    case "$1" in
    --encrypted) encrypted=1; shift ;;
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

command -v sqlite3 >/dev/null || { echo "iphone-load needs sqlite3 (scripts/install-deps.sh)" >&2; exit 1; }

password="bench – contraseña 🐎"
data="$build/bench-data/iphone-$messages-$chats"
if [ ! -f "$data/encrypted/Manifest.db" ] || [ ! -f "$data/plain/Manifest.db" ]; then
    echo "generating $messages messages over $chats chats, unencrypted and encrypted..." >&2
    "$build/bin/velliport-gen-iphone" --password "$password" --iterations 1000,10 "$data" "$messages" "$chats" >&2
fi
bench="$build/bin/velliport-bench-iphone"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p;s/^$1=\([^ ]*\).*/\1/p" | head -n1; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

plain_times=()
other_times=()
derivations=()
plain_line=""
other_line=""
# The sides take turns, so that a slow spell of a shared machine falls on both; the
# median of five decides.
for _ in 1 2 3 4 5; do
    plain_line="$("$bench" load "$data/plain")"
    plain_times+=("$(echo "$plain_line" | field load_s)")
    if [ "$encrypted" = 1 ]; then
        other_line="$("$bench" load "$data/encrypted" --password "$password")"
        other_times+=("$(echo "$other_line" | field load_s)")
        derivations+=("$("$bench" derive "$data/encrypted" --password "$password" | field derivation_s)")
    else
        start=$(date +%s.%N)
        sqlite3 "$data/Contacts.data" "select * from ZMEMBER; select * from ZPHONENUMBER;
            select * from ZCONVERSATION; select * from Z_5PHONENUMINDEXES;
            select * from ZRECENT as r left join ZRECENTSLINE as l on l.Z_PK = r.ZRECENTSLINE order by r.ZDATE;
            select m.*, a.*, l.* from ZVIBERMESSAGE as m left join ZATTACHMENT as a on a.Z_PK = m.ZATTACHMENT
                left join ZVIBERLOCATION as l on l.Z_PK = m.ZLOCATION order by m.ZDATE, m.Z_PK;" >/dev/null
        end=$(date +%s.%N)
        other_times+=("$(elapsed "$start" "$end")")
    fi
done

plain_median="$(printf '%s\n' "${plain_times[@]}" | median)"
other_median="$(printf '%s\n' "${other_times[@]}" | median)"
count="$(echo "$plain_line" | field messages)"
media_files="$(echo "$plain_line" | field media_files)"

if [ "$encrypted" = 1 ]; then
    [ "$(echo "$other_line" | field messages)" = "$count" ] &&
        [ "$(echo "$other_line" | field media_files)" = "$media_files" ] || {
        echo "the two backups load differently: plain: $plain_line; encrypted: $other_line" >&2
        exit 1
    }
    derivation_median="$(printf '%s\n' "${derivations[@]}" | median)"
    ratio="$(awk -v e="$other_median" -v d="$derivation_median" -v p="$plain_median" \
        'BEGIN { printf "%.3f", (e - d) / p }')"
    phases_plain="$("$bench" phases "$data/plain" 2>&1 >/dev/null)"
    phases_encrypted="$("$bench" phases "$data/encrypted" --password "$password" 2>&1 >/dev/null)"
    printf '%s\n%s\n' "$phases_plain" "$phases_encrypted" >&2
    echo "RESULT iphone-load-encrypted ratio=$ratio encrypted_s=$other_median plain_s=$plain_median" \
        "derivation_s=$derivation_median messages=$count media_files=$media_files" \
        "encrypted=${other_times[*]} plain=${plain_times[*]} derivations=${derivations[*]}"
else
    ratio="$(awk -v l="$plain_median" -v s="$other_median" 'BEGIN { printf "%.3f", l / s }')"
    "$bench" phases "$data/plain" >/dev/null
    echo "RESULT iphone-load ratio=$ratio load_s=$plain_median scan_s=$other_median messages=$count" \
        "media_files=$media_files loads=${plain_times[*]} scans=${other_times[*]}"
fi
