#!/usr/bin/env bash
# merge-scaling: the restore worker's writes into its working copy (AndroidViberTransfer:
# the merge, the phone's rows renumbered in date order with the added ones, then the
# calls) of 25,000, 100,000 and 400,000 messages of one synthetic phone into a copy of
# another phone holding as many; the median of five each. ratio: 100,000 against 25,000
# (the baseline, restore_25000_s), ratio_400000: 400,000 against 100,000; a restore that
# stays linear gives about 4 for each, a scan per message about 16. For continuity,
# calls_ratio: the same for AndroidViberDb's merge operations as the benchmark calls
# them (merge_25000_s, merge_100000_s), taking turns with the restores.
#
#   merge-scaling.sh BUILD
set -euo pipefail
build="$1"
source "$(dirname "$0")/merge-lib.sh"

timed 25000 restore merge
restore_25000="${median_s[restore]}" merge_25000="${median_s[merge]}" written_25000="${rows_written[restore]}"
timed 100000 restore merge
restore_100000="${median_s[restore]}" merge_100000="${median_s[merge]}" written_100000="${rows_written[restore]}"
timed 400000 restore
restore_400000="${median_s[restore]}" written_400000="${rows_written[restore]}"
echo "RESULT merge-scaling ratio=$(quotient "$restore_100000" "$restore_25000")" \
    "ratio_400000=$(quotient "$restore_400000" "$restore_100000")" \
    "restore_25000_s=$restore_25000 restore_100000_s=$restore_100000 restore_400000_s=$restore_400000" \
    "calls_ratio=$(quotient "$merge_100000" "$merge_25000") merge_25000_s=$merge_25000" \
    "merge_100000_s=$merge_100000 written_25000=$written_25000 written_100000=$written_100000" \
    "written_400000=$written_400000"
