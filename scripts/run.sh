#!/usr/bin/env bash
# Installs what is missing, builds, and starts Velliport.
#
#   scripts/run.sh           on your own data folder
#   scripts/run.sh --demo    on a fresh demo data folder (build/demo-home) holding a sample
#                            local database; with the phone simulator first on PATH
#                            (build/bin/phonesim) it also sets up the simulated sample phone.
#                            Your own data folder is never read or written.
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

# Only the data home moves: the desktop's own settings and runtime folder stay, so the
# window still opens on the user's display.
home="$PWD/build/demo-home"
rm -rf "$home"
mkdir -p "$home/share"
export XDG_DATA_HOME="$home/share"
data="$XDG_DATA_HOME/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260"
build/bin/demodata "$data/local_databases" --name "Demo" >/dev/null
echo "Demo data folder: $data"

found=$(command -v adb || true)
if [ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath build/bin/phonesim/adb)" ]; then
    export PHONESIM_DIR="$home/phonesim"
    build/bin/phonesim-sample "$PHONESIM_DIR" >/dev/null
    echo "Simulated sample phone: $PHONESIM_DIR"
else
    echo "The phone simulator is not first on PATH; no phone is simulated." \
        "(export PATH=\"$PWD/build/bin/phonesim:\$PATH\" to add the sample phone)"
fi
exec build/bin/velliport
