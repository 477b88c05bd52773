#!/usr/bin/env bash
# android-load: the load by the reader the program picks for the file (AndroidViberDb for
# version 53, ModernAndroidViberDb for today's app) against its floor: the very statements
# the load ran (recorded once, as SQLite ran them) run again in a process of their own with
# the SQLite C API alone, every value of every row read and texts copied into a buffer
# (ratio, scan_s). For continuity also against the sqlite3 command-line printing the same
# tables to /dev/null (shell_ratio, shell_s). The median of five each, taking turns, each
# run on a fresh copy of the file. Peak memory comes from /usr/bin/time.
#
#   android-load.sh BUILD [--modern] [--messages N] [--chats M] [PATH]
# PATH: a folder laid out like an extracted archive (PATH/apps/com.viber.voip/db/viber_messages);
# without it a synthetic phone of N messages (200000) over M chats (500) is generated once
# into BUILD/bench-data (remove that folder to generate afresh after changing the generator),
# in the shape of today's app with --modern (the result is then named android-load-modern).
set -euo pipefail
build="$1"
shift
messages=200000
chats=500
source_root=""
modern=()
result_name=android-load
while [ $# -gt 0 ]; do
    case "$1" in
    --modern) modern=(--modern); result_name=android-load-modern; shift ;;
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) source_root="$1"; shift ;;
    esac
done

for tool in sqlite3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "android-load needs $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ -n "$source_root" ]; then
    source_db="$source_root/apps/com.viber.voip/db/viber_messages"
    [ -f "$source_db" ] || { echo "no $source_db" >&2; exit 1; }
else
    data="$build/bench-data/android${modern:+-modern}-$messages-$chats"
    source_db="$data/ab-extract/apps/com.viber.voip/db/viber_messages"
    if [ ! -f "$source_db" ]; then
        echo "generating $messages messages over $chats chats..." >&2
        "$build/bin/velliport-gen-android" "${modern[@]}" "$data" "$messages" "$chats" >/dev/null
    fi
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/velliport-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
work_db="$work/ab-extract/apps/com.viber.voip/db/viber_messages"
mkdir -p "$(dirname "$work_db")"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p;s/^$1=\([^ ]*\).*/\1/p" | head -n1; }

scan_sql="select * from conversations;
select p._id as pid, p.conversation_id, i.* from participants as p inner join participants_info as i on i._id=p.participant_info_id and i.participant_type <> 0;
select * from messages;"

# The two sides take turns, so that a slow spell of a shared machine falls on both;
# the median of five decides.
load_times=()
scan_times=()
shell_times=()
peaks=()
line=""
scan_line=""
cp "$source_db" "$work_db"
"$build/bin/velliport-bench-load" --record "$work/statements.json" "$work" >/dev/null
for _ in 1 2 3 4 5; do
    cp "$source_db" "$work_db"
    line="$(/usr/bin/time -v -o "$work/time.txt" "$build/bin/velliport-bench-load" "$work")"
    load_times+=("$(echo "$line" | field load_s)")
    peaks+=("$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")")
    cp "$source_db" "$work_db"
    scan_line="$("$build/bin/velliport-bench-load" --replay "$work/statements.json")"
    scan_times+=("$(echo "$scan_line" | field scan_s)")
    cp "$source_db" "$work_db"
    start=$(date +%s.%N)
    sqlite3 "$work_db" "$scan_sql" >/dev/null
    end=$(date +%s.%N)
    shell_times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
done

load_median="$(printf '%s\n' "${load_times[@]}" | median)"
scan_median="$(printf '%s\n' "${scan_times[@]}" | median)"
shell_median="$(printf '%s\n' "${shell_times[@]}" | median)"
peak_kb="$(printf '%s\n' "${peaks[@]}" | sort -g | tail -n1)"
count="$(echo "$line" | field messages)"
text_bytes="$(echo "$line" | field text_bytes)"
extra_bytes="$(echo "$line" | field extra_bytes)"
rss_before_kb="$(echo "$line" | field rss_before_kb)"
cp "$source_db" "$work_db"
heap_figures="$("$build/bin/velliport-bench-load" --breakdown "$work" | grep -o 'heap_added=.*')"
ratio="$(awk -v l="$load_median" -v s="$scan_median" 'BEGIN { printf "%.3f", l / s }')"
shell_ratio="$(awk -v l="$load_median" -v s="$shell_median" 'BEGIN { printf "%.3f", l / s }')"
blob_text_bytes="$(echo "$heap_figures" | field blob_text_bytes)"
# Memory the load added, per message, beyond the bytes of the texts it holds: once
# counting the texts of the records' string fields (UTF-16), once also counting the
# texts that the extra blobs keep (UTF-8: bodies, URIs, download ids).
beyond() {
    awk -v p="$peak_kb" -v r="$rss_before_kb" -v t="$1" -v n="$count" \
        'BEGIN { printf "%.1f", ((p - r) * 1024 - t) / n }'
}
per_message="$(beyond "$text_bytes")"
per_message_all="$(beyond "$((text_bytes + blob_text_bytes))")"

if [ -n "$source_root" ]; then
    echo "$line" | grep -o 'chats=[0-9]* persons=[0-9]* messages=[0-9]* attachments=[0-9]* calls=[0-9]*'
fi
echo "RESULT $result_name ratio=$ratio load_s=$load_median scan_s=$scan_median" \
    "scan_statements=$(echo "$scan_line" | field statements) scan_rows=$(echo "$scan_line" | field rows)" \
    "shell_ratio=$shell_ratio shell_s=$shell_median messages=$count" \
    "peak_kb=$peak_kb rss_before_kb=$rss_before_kb text_bytes=$text_bytes extra_bytes=$extra_bytes" \
    "bytes_per_message_beyond_texts=$per_message bytes_per_message_beyond_texts_and_blob_texts=$per_message_all" \
    "$heap_figures" \
    "loads=${load_times[*]} scans=${scan_times[*]} shells=${shell_times[*]}"
