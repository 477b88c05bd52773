#!/usr/bin/env bash
# growth: how one benchmark's time and memory grow with ten times the history. Runs
# benchmark NAME over 200,000 messages in 500 chats, then over 2,000,000 in 5,000, each
# run as run.sh runs it (medians of five inside), and prints
#   RESULT growth-NAME growth=G time_200k_s=… time_2m_s=… [peak_added_bytes_per_message_200k=…
#          peak_added_bytes_per_message_2m=…] [bytes_per_message_beyond_texts_200k=… …_2m=…]
# G is the 2M time over the 200k time of the benchmark's own figure (below): linear
# growth is 10. Peak memory per message is the process's highest resident size less its
# size before the load, over the message count, where the benchmark reports both. Both
# RESULT lines are printed too.
#
#   bench/run.sh growth NAME     (NAME: android-load, backup, html-export, json-export,
#                                 html-archive, gui-open, phone-load, iphone-load)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -eq 1 ] || { echo "usage: bench/run.sh growth NAME" >&2; exit 2; }
name="$1"
case "$name" in
android-load | phone-load | iphone-load) time_field=load_s ;;
backup) time_field=backup_s ;;
html-export) time_field=html_s ;;
html-archive) time_field=archive_s ;;
json-export) time_field=json_s ;;
gui-open) time_field=open_s ;;
*) echo "growth: no figure to compare for $name" >&2; exit 2 ;;
esac
extra=()
# gui-open's big chat is a tenth of the history at either size.
[ "$name" = gui-open ] && extra=(--big-chat)

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" | head -n1; }
result() {
    local messages="$1" chats="$2" big=()
    [ ${#extra[@]} -eq 0 ] || big=("${extra[@]}" $((messages / 10)))
    "$root/bench/run.sh" "$name" --messages "$messages" --chats "$chats" "${big[@]}" | grep '^RESULT'
}
# The peak over the resident size before the load, per message: what the history took.
per_message() {
    local line="$1"
    local peak before count
    peak="$(echo "$line" | field peak_kb)"
    before="$(echo "$line" | field rss_before_kb)"
    [ -n "$before" ] || before="$(echo "$line" | field rss_before_load_kb)"
    count="$(echo "$line" | field messages)"
    [ -n "$peak" ] && [ -n "$before" ] && [ -n "$count" ] || return 0
    awk -v p="$peak" -v b="$before" -v n="$count" 'BEGIN { printf "%.1f", (p - b) * 1024 / n }'
}

small="$(result 200000 500)"
echo "$small"
large="$(result 2000000 5000)"
echo "$large"

small_s="$(echo "$small" | field "$time_field")"
large_s="$(echo "$large" | field "$time_field")"
[ -n "$small_s" ] && [ -n "$large_s" ] || { echo "growth: no $time_field in the RESULT lines" >&2; exit 1; }
line="RESULT growth-$name growth=$(awk -v a="$large_s" -v b="$small_s" 'BEGIN { printf "%.2f", a / b }')"
line+=" time_200k_s=$small_s time_2m_s=$large_s"
small_peak="$(per_message "$small")"
large_peak="$(per_message "$large")"
[ -n "$large_peak" ] || large_peak=none
[ -z "$small_peak" ] || line+=" peak_added_bytes_per_message_200k=$small_peak peak_added_bytes_per_message_2m=$large_peak"
beyond_small="$(echo "$small" | field bytes_per_message_beyond_texts)"
if [ -n "$beyond_small" ]; then
    line+=" bytes_per_message_beyond_texts_200k=$beyond_small"
    beyond_large="$(echo "$large" | field bytes_per_message_beyond_texts)"
    line+=" bytes_per_message_beyond_texts_2m=${beyond_large:-none}"
fi
echo "$line"
