#!/usr/bin/env bash
# backup: BackupViberMsgThread against plain inserts; see message-ops.sh.
exec "$(dirname "$0")/message-ops.sh" "$1" backup "${@:2}"
