#!/usr/bin/env bash
# merge-vs-backup: the restore worker's writes into its working copy (AndroidViberTransfer:
# the merge, the phone's rows renumbered in date order with the added ones, then the
# calls) of 25,000, 100,000 and 400,000 messages of one synthetic phone into a copy of
# another phone holding as many, against writing the same messages into a new local
# database (the baseline, backup_s: IOSViberDb as the backup worker calls it, media
# left out); taking turns, the median of five each. ratio is that of 100,000 messages,
# ratio_25000 and ratio_400000 the others. For continuity, calls_ratio: AndroidViberDb's
# merge operations as the benchmark calls them (merge_s) against the same backup, at
# 100,000. restore_written counts the message rows and the call log's rows the restore
# added, backup_written the message rows and calls the backup wrote.
#
#   merge-vs-backup.sh BUILD
set -euo pipefail
build="$1"
source "$(dirname "$0")/merge-lib.sh"

timed 25000 restore backup
ratio_25000="$(quotient "${median_s[restore]}" "${median_s[backup]}")"
restore_25000="${median_s[restore]}" backup_25000="${median_s[backup]}"
timed 400000 restore backup
ratio_400000="$(quotient "${median_s[restore]}" "${median_s[backup]}")"
restore_400000="${median_s[restore]}" backup_400000="${median_s[backup]}"
timed 100000 restore backup merge
echo "RESULT merge-vs-backup ratio=$(quotient "${median_s[restore]}" "${median_s[backup]}")" \
    "restore_s=${median_s[restore]} backup_s=${median_s[backup]}" \
    "ratio_25000=$ratio_25000 restore_25000_s=$restore_25000 backup_25000_s=$backup_25000" \
    "ratio_400000=$ratio_400000 restore_400000_s=$restore_400000 backup_400000_s=$backup_400000" \
    "calls_ratio=$(quotient "${median_s[merge]}" "${median_s[backup]}") merge_s=${median_s[merge]}" \
    "restore_written=${rows_written[restore]} backup_written=${rows_written[backup]}"
