#!/usr/bin/env bash
# merge-scaling: merging 25,000 and then 100,000 messages of one synthetic phone into a
# copy of another phone holding as many, through AndroidViberDb's merge operations in
# the restore worker's order; best of 3 each. A merge that stays linear gives a ratio
# of about 4; a scan per message would give about 16.
#
#   merge-scaling.sh BUILD
set -euo pipefail
build="$1"
source "$(dirname "$0")/merge-lib.sh"

timed merge 25000
small="$seconds"
small_written="$written"
timed merge 100000
large="$seconds"
large_written="$written"
ratio="$(awk -v l="$large" -v s="$small" 'BEGIN { printf "%.3f", l / s }')"
echo "RESULT merge-scaling ratio=$ratio merge_25000_s=$small merge_100000_s=$large" \
    "written_25000=$small_written written_100000=$large_written"
