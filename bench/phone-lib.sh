# Shared by phone-load.sh and transfer.sh (sourced; expects $build and $work): a phone
# state folder for the simulator in $work, made current for the programs started here
# (its adb first on PATH), and a scratch data folder so that the device cache of the
# runs never meets the user's.
serial=SIMBENCH1
state="$work/phonesim"
export PHONESIM_DIR="$state"
export PATH="$build/bin/phonesim:$PATH"
export XDG_DATA_HOME="$work/data-home"
# The workers log every missing media file at debug level.
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-*.debug=false}"
mkdir -p "$state" "$XDG_DATA_HOME"

# put_phone EXTRACT_ROOT [--modern]: the phone's Viber databases become those of
# EXTRACT_ROOT (on Android 13 with --modern).
put_phone() {
    "$build/bin/velliport-bench-phone" "${@:2}" phone "$state" "$serial" "$1" >/dev/null
}

