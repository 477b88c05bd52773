#!/usr/bin/env bash
# backup: BackupViberMsgThread against a bulk load of the rows it writes (ratio, baseline_s), and
# for continuity against plain inserts into the message table (insert_ratio); see message-ops.sh.
exec "$(dirname "$0")/message-ops.sh" "$1" backup "${@:2}"
