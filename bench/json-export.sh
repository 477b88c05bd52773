#!/usr/bin/env bash
# json-export: the JSON export against the file-system floor (ratio, baseline_s) and the CSV
# export (csv_ratio), as html-export; see message-ops.sh. The RESULT
# line's peak_over_data_set is the JSON run's peak over the loaded data set.
exec "$(dirname "$0")/message-ops.sh" "$1" json-export "${@:2}"
