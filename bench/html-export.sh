#!/usr/bin/env bash
# html-export: the HTML export against the CSV export; see message-ops.sh.
exec "$(dirname "$0")/message-ops.sh" "$1" html-export "${@:2}"
