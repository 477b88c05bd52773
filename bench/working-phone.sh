# Shared by message-ops.sh, html-archive.sh and search.sh (sourced; expects $build).
# working_phone MESSAGES CHATS: the synthetic phone of MESSAGES messages over CHATS chats,
# generated once into $build/bench-data, copied into a fresh folder $work (removed when
# the script ends) as an unpacked archive: $work/ab-extract/apps/com.viber.voip/db.
working_phone() {
    local data="$build/bench-data/android-$1-$2"
    local db="$data/ab-extract/apps/com.viber.voip/db"
    if [ ! -f "$db/viber_messages" ]; then
        echo "generating $1 messages over $2 chats..." >&2
        "$build/bin/velliport-gen-android" "$data" "$1" "$2" >/dev/null
    fi
    work="$(mktemp -d "${TMPDIR:-/tmp}/velliport-bench.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/ab-extract/apps/com.viber.voip/db"
    cp "$db/viber_messages" "$work/ab-extract/apps/com.viber.voip/db/"
    if [ -f "$db/viber_data" ]; then
        cp "$db/viber_data" "$work/ab-extract/apps/com.viber.voip/db/"
    fi
}
