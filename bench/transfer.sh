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
# With --modern both phones are of today's app (the generator's --modern shape) and the
# phone runs Android 13: the worker takes the path of today's Viber (merge, the check of
# the app's views, calls, root install, cache replaced), against
# ModernAndroidViberTransfer::mergeMessages alone on a copy of the same database (no
# checks, no calls, no phone); the median of five each, alternating, and the median of
# the transfers' peak_over_data_set. The worker's phases of each run go to stderr.
#
#   transfer.sh BUILD [--modern]
set -euo pipefail
build="$1"
shift
modern=()
while [ $# -gt 0 ]; do
    case "$1" in
    --modern) modern=(--modern); shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
source "$(dirname "$0")/merge-lib.sh"
source "$(dirname "$0")/phone-lib.sh"
runs=2
[ ${#modern[@]} -eq 0 ] || runs=5
messages=50000

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

source_phone="$(phone "$messages" 7 "${modern[@]}")"
target_phone="$(phone "$messages" default "${modern[@]}")"

transfer_times=()
merge_times=()
peaks=()
line=""
merge_line=""
for run in $(seq "$runs"); do
    fresh_copy "$source_phone" "$work/source"
    fresh_copy "$target_phone" "$work/target"
    merge_line="$("$build/bin/velliport-bench-merge" "${modern[@]}" transfer "$work/source" "$work/target")"
    merge_times+=("$(echo "$merge_line" | field transfer_s)")

    fresh_copy "$source_phone" "$work/source"
    put_phone "$target_phone" "${modern[@]}"
    rm -rf "${XDG_DATA_HOME:?}"/*
    [ ${#modern[@]} -eq 0 ] || echo "transfer run $run:" >&2
    line="$("$build/bin/velliport-bench-phone" "${modern[@]}" transfer "$state" "$serial" "$work/source")"
    transfer_times+=("$(echo "$line" | field transfer_s)")
    peaks+=("$(echo "$line" | field peak_over_data_set)")
done

if [ ${#modern[@]} -eq 0 ]; then
    transfer_best="$(printf '%s\n' "${transfer_times[@]}" | best)"
    merge_best="$(printf '%s\n' "${merge_times[@]}" | best)"
    ratio="$(awk -v t="$transfer_best" -v m="$merge_best" 'BEGIN { printf "%.3f", t / m }')"
    figures="$(echo "$line" | sed 's/^transfer_s=[^ ]* //')"
    echo "RESULT transfer ratio=$ratio transfer_s=$transfer_best merge_s=$merge_best" \
        "merge_written=$(echo "$merge_line" | field written) $figures" \
        "transfers=${transfer_times[*]} merges=${merge_times[*]}"
    exit 0
fi

written="$(echo "$line" | field written)"
merge_written="$(echo "$merge_line" | field written)"
# Two sides that wrote different rows did different work: no ratio between them.
if [ "$written" != "$merge_written" ]; then
    echo "the transfer wrote $written messages, the merge alone $merge_written" >&2
    exit 1
fi
transfer_median="$(printf '%s\n' "${transfer_times[@]}" | median)"
merge_median="$(printf '%s\n' "${merge_times[@]}" | median)"
peak_median="$(printf '%s\n' "${peaks[@]}" | median)"
ratio="$(awk -v t="$transfer_median" -v m="$merge_median" 'BEGIN { printf "%.3f", t / m }')"
figures="$(echo "$line" | sed 's/^transfer_s=[^ ]* //; s/ written=[^ ]*//; s/ peak_over_data_set=[^ ]*//')"
echo "RESULT transfer-modern ratio=$ratio transfer_s=$transfer_median merge_s=$merge_median" \
    "written=$written peak_over_data_set=$peak_median $figures" \
    "transfers=${transfer_times[*]} merges=${merge_times[*]} peaks=${peaks[*]}"
