#!/usr/bin/env bash
# html-export: the HTML export against the file-system floor, the same bytes written into as
# many files with plain writes and one sync (ratio, baseline_s), and for continuity against the
# CSV export (csv_ratio); see message-ops.sh.
exec "$(dirname "$0")/message-ops.sh" "$1" html-export "${@:2}"
