#!/usr/bin/env bash
# transfer: AndroidRestoreViberThread writing the 50,000 messages of one synthetic phone
# into a simulated rooted phone that holds another 50,000 (merge into a working copy,
# calls into viber_data, root write through the agent, cache replaced), against the
# same messages merged into a copy of the same phone database with the merge
# operations alone (velliport-bench-merge transfer); best of 2 each, alternating. The
# phones are merge-lib.sh's (shared numbers and groups, no shared tokens). Memory: the
# highest resident size of the transfer over the resident size before the source was
# loaded, against what the loaded source data set takes (peak_over_data_set).
#
#   transfer.sh BUILD
set -euo pipefail
build="$1"
source "$(dirname "$0")/merge-lib.sh"
source "$(dirname "$0")/phone-lib.sh"
runs=2
messages=50000

source_phone="$(phone "$messages" 7)"
target_phone="$(phone "$messages" default)"

transfer_times=()
merge_times=()
line=""
merge_line=""
for _ in $(seq "$runs"); do
    fresh_copy "$source_phone" "$work/source"
    fresh_copy "$target_phone" "$work/target"
    merge_line="$("$build/bin/velliport-bench-merge" transfer "$work/source" "$work/target")"
    merge_times+=("$(echo "$merge_line" | field transfer_s)")

    fresh_copy "$source_phone" "$work/source"
    put_phone "$target_phone"
    rm -rf "${XDG_DATA_HOME:?}"/*
    line="$("$build/bin/velliport-bench-phone" transfer "$state" "$serial" "$work/source")"
    transfer_times+=("$(echo "$line" | field transfer_s)")
done

transfer_best="$(printf '%s\n' "${transfer_times[@]}" | best)"
merge_best="$(printf '%s\n' "${merge_times[@]}" | best)"
ratio="$(awk -v t="$transfer_best" -v m="$merge_best" 'BEGIN { printf "%.3f", t / m }')"
figures="$(echo "$line" | sed 's/^transfer_s=[^ ]* //')"
echo "RESULT transfer ratio=$ratio transfer_s=$transfer_best merge_s=$merge_best" \
    "merge_written=$(echo "$merge_line" | field written) $figures" \
    "transfers=${transfer_times[*]} merges=${merge_times[*]}"
