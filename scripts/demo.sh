#!/usr/bin/env bash
# Starts Velliport (or PROGRAM) on a fresh demo data home: DEMO_HOME/share holds a sample
# local database "Demo", which the window opens on, and, with the phone simulator first on
# PATH, DEMO_HOME/phonesim holds the simulated sample phone. Only the data home moves: the
# desktop's settings and runtime folder stay, so the window still opens on the user's display.
#
#   scripts/demo.sh DEMO_HOME [BIN_DIR [PROGRAM]]
#
# BIN_DIR is where the built programs are (build/bin by default); PROGRAM defaults to
# BIN_DIR/velliport.
#
# DEMO_HOME is made afresh at every start; a folder that holds anything but an earlier
# demo is refused and left as it is.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 3 ]; then
    echo "usage: scripts/demo.sh DEMO_HOME [BIN_DIR [PROGRAM]]" >&2
    exit 2
fi
home=$1
bin=$(cd "${2:-"$(dirname "$0")/../build/bin"}" && pwd)
program=${3:-"$bin/velliport"}
marker=.velliport-demo

if [ -e "$home" ]; then
    if [ -f "$home/$marker" ]; then
        rm -rf "$home"
    elif [ -n "$(ls -A "$home")" ]; then
        echo "demo.sh: $home is not a demo folder; it is left untouched" >&2
        exit 1
    fi
fi
mkdir -p "$home/share"
touch "$home/$marker"
home=$(cd "$home" && pwd)

export XDG_DATA_HOME="$home/share"
data="$XDG_DATA_HOME/Kestrune/5A3C19E0B27F4D6C8E01F4A9D3B7C260"
"$bin/demodata" "$data/local_databases" --name "Demo" >/dev/null
echo "Demo data folder: $data"

# The window opens on the demo database at its group chat, as the README's picture shows.
options=(--open-database Demo --open-chat "Weekend hike")
found=$(command -v adb || true)
if [ -n "$found" ] && [ -x "$bin/phonesim/adb" ] && [ "$(realpath "$found")" = "$(realpath "$bin/phonesim/adb")" ]; then
    export PHONESIM_DIR="$home/phonesim"
    # The agent app is shown as installed already: the program carries no agent package
    # to install yet.
    "$bin/phonesim-sample" --with-agent "$PHONESIM_DIR" >/dev/null
    echo "Simulated sample phone: $PHONESIM_DIR"
else
    echo "The phone simulator is not first on PATH, so no phone is simulated" \
        "(export PATH=\"$bin/phonesim:\$PATH\" to add the sample phone)."
    # No phone is to be found, so no advice on connecting one.
    options+=(--no-usb-tips)
fi
exec "$program" "${options[@]}"
