#!/usr/bin/env bash
# html-archive: the HTML export's archive on N messages (200000) of the synthetic phone of
# the message-operation benchmarks (M chats, 500; generated once into BUILD/bench-data).
#  (a) the export with its index.html and search files against the same export without
#      them, medians of five of each taking turns (ratio, archive_s, plain_s);
#  (b) headless Chromium's wall-clock for --dump-dom of the archive's index.html against
#      that of an empty page, medians of five taking turns (index_s, empty_s; their
#      difference is index_interactive_s);
#  (c) a search of all messages: index.html?q=WORD (bahnhof, in some two of five messages)
#      opened by Chromium's --dump-dom, which waits for the search files the search loads,
#      against index.html alone (search_wall_s, the difference of the medians), and the time
#      the page itself measures from the start of the search code to the results in the
#      DOM (search_ms, median), in a copy of index.html with an observer added before the
#      search code; the product's own files are not changed.
#
#   html-archive.sh BUILD [--messages N] [--chats M] [--word WORD]
set -euo pipefail
build="$1"
shift
messages=200000
chats=500
word=bahnhof
while [ $# -gt 0 ]; do
    case "$1" in
    --messages) messages="$2"; shift 2 ;;
    --chats) chats="$2"; shift 2 ;;
    --word) word="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

source "$(dirname "$0")/working-phone.sh"
working_phone $((messages + messages / 20)) "$chats"

export_line="$("$build/bin/velliport-bench-archive" "$work" "$work/out" "$messages")"
folder="${export_line##* folder=}"
export_figures="${export_line#EXPORT }"
export_figures="${export_figures% folder=*}"

chromium_bin="$(command -v chromium || command -v chromium-browser || true)"
[ -n "$chromium_bin" ] || { echo "chromium is missing" >&2; exit 1; }
printf '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>empty</title></head><body></body></html>\n' \
    >"$work/empty.html"
# The copy that times its own search: the observer starts its clock just before the
# search code runs and stops it when the results list is in the DOM.
observer='<script>var VPB_T0=performance.now();new MutationObserver(function(){if(document.querySelector("#results ol")&&document.title.indexOf("SEARCH_MS=")<0)document.title="SEARCH_MS="+(performance.now()-VPB_T0).toFixed(1);}).observe(document.getElementById("results"),{childList:true});</script>'
sed "s|<script src=\"files/archive.js\"></script>|${observer//&/\\&}<script src=\"files/archive.js\"></script>|" \
    "$folder/index.html" >"$folder/bench-timed.html"
grep -q VPB_T0 "$folder/bench-timed.html" || { echo "could not add the observer" >&2; exit 1; }

# Wall-clock seconds of one --dump-dom of URL; the DOM goes to FILE.
dump() {
    local url="$1" file="$2" start end
    start=$(date +%s.%N)
    "$chromium_bin" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --no-first-run \
        --disable-background-networking --disable-component-update \
        --user-data-dir="$work/chromium-profile" --dump-dom "$url" >"$file" 2>/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

index_url="file://$folder/index.html"
dump "file://$work/empty.html" "$work/dom" >/dev/null # the profile is made before the rounds
empties=() indexes=() searches=() inpage=()
for round in 1 2 3 4 5; do
    empties+=("$(dump "file://$work/empty.html" "$work/dom")")
    indexes+=("$(dump "$index_url" "$work/dom")")
    grep -q '<table id="chats">' "$work/dom" || { echo "index.html did not load" >&2; exit 1; }
    searches+=("$(dump "$index_url?q=$word" "$work/dom")")
    grep -q 'messages found' "$work/dom" || { echo "the search found nothing or did not finish" >&2; exit 1; }
    found="$(grep -o '[0-9]* messages found' "$work/dom" | head -1)"
    dump "file://$folder/bench-timed.html?q=$word" "$work/dom" >/dev/null
    ms="$(grep -o 'SEARCH_MS=[0-9.]*' "$work/dom" | head -1 | cut -d= -f2)"
    [ -n "$ms" ] || { echo "the timed copy gave no time" >&2; exit 1; }
    inpage+=("$ms")
done
empty_s="$(median "${empties[@]}")"
index_s="$(median "${indexes[@]}")"
search_s="$(median "${searches[@]}")"
interactive="$(echo "$index_s - $empty_s" | bc)"
search_wall="$(echo "$search_s - $index_s" | bc)"
join() { local IFS=,; echo "$*"; }
echo "RESULT html-archive $export_figures index_interactive_s=$interactive index_s=$index_s empty_s=$empty_s" \
    "search_ms=$(median "${inpage[@]}") search_wall_s=$search_wall search_dump_s=$search_s" \
    "word=$word hits=\"$found\" index_bytes=$(stat -c %s "$folder/index.html")" \
    "search_bytes=$(du -sb "$folder/search" | cut -f1) empties=$(join "${empties[@]}")" \
    "indexes=$(join "${indexes[@]}") searches=$(join "${searches[@]}") search_mss=$(join "${inpage[@]}")"
