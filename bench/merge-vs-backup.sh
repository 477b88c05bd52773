#!/usr/bin/env bash
# merge-vs-backup: merging 100,000 messages of one synthetic phone into a copy of
# another phone of 100,000 (AndroidViberDb, the restore worker's order) against writing
# the same messages into a new local database (IOSViberDb, the backup worker's order,
# media left out); best of 3 each.
#
#   merge-vs-backup.sh BUILD
set -euo pipefail
build="$1"
source "$(dirname "$0")/merge-lib.sh"

timed merge 100000
merge_s="$seconds"
merge_written="$written"
timed backup 100000
backup_s="$seconds"
backup_written="$written"
ratio="$(awk -v m="$merge_s" -v b="$backup_s" 'BEGIN { printf "%.3f", m / b }')"
echo "RESULT merge-vs-backup ratio=$ratio merge_s=$merge_s backup_s=$backup_s" \
    "merge_written=$merge_written backup_written=$backup_written"
