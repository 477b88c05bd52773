#!/usr/bin/env bash
# Installs what is missing, builds, and starts Velliport.
#
#   scripts/run.sh           on your own data folder
#   scripts/run.sh --demo    on a fresh demo data folder (build/demo-home) holding a sample
#                            local database, opened at its group chat; with the phone
#                            simulator first on PATH (build/bin/phonesim) it also sets up
#                            the simulated sample phone.
#                            Your own data folder is never read or written (scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

demo=0
case "${1:-}" in
    "") ;;
    --demo) demo=1 ;;
    *)
        echo "usage: scripts/run.sh [--demo]" >&2
        exit 2
        ;;
esac

scripts/install-deps.sh
scripts/build.sh
[ "$demo" -eq 1 ] || exec build/bin/velliport

exec scripts/demo.sh build/demo-home build/bin
