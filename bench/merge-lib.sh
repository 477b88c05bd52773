# Shared by merge-scaling.sh and merge-vs-backup.sh (sourced; expects $build).
# Phones come from velliport-gen-android over 500 chats and are generated once into
# $build/bench-data: the target with the generator's default seed (the phones
# android-load uses), the source with seed 7, so that the two share numbers and group
# ids (chats merge into existing conversations) but no message tokens.
chats=500
runs=3

work="$(mktemp -d "${TMPDIR:-/tmp}/velliport-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# phone MESSAGES SEED [--modern]: prints the extracted folder of that phone (in the
# shape of today's app with --modern), generating it once.
phone() {
    local modern=("${@:3}")
    local dir="$build/bench-data/android${modern:+-modern}-$1-$chats"
    [ "$2" = default ] || dir="$dir-seed$2"
    if [ ! -f "$dir/ab-extract/apps/com.viber.voip/db/viber_messages" ]; then
        echo "generating $1 messages over $chats chats (seed $2)${modern:+ in the modern shape}..." >&2
        if [ "$2" = default ]; then
            "$build/bin/velliport-gen-android" "${modern[@]}" "$dir" "$1" "$chats" >/dev/null
        else
            "$build/bin/velliport-gen-android" "${modern[@]}" "$dir" "$1" "$chats" "$2" >/dev/null
        fi
    fi
    echo "$dir"
}

# fresh_copy FROM TO: TO becomes a working copy of the phone folder FROM (its messages
# database, and its call log, which a merge into today's app reads).
fresh_copy() {
    rm -rf "$2"
    mkdir -p "$2/ab-extract/apps/com.viber.voip/db"
    cp "$1/ab-extract/apps/com.viber.voip/db/viber_messages" "$2/ab-extract/apps/com.viber.voip/db/"
    if [ -f "$1/ab-extract/apps/com.viber.voip/db/viber_data" ]; then
        cp "$1/ab-extract/apps/com.viber.voip/db/viber_data" "$2/ab-extract/apps/com.viber.voip/db/"
    fi
}

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" | head -n1; }
best() { sort -g | head -n1; }

# timed MODE MESSAGES: sets $seconds to the best of $runs times of merging (or backing
# up) MESSAGES messages of the source phone into a fresh copy of the target phone of
# as many (or a new local database), and $written to the rows the last run wrote.
timed() {
    local mode="$1" n="$2" source target line times=()
    source="$(phone "$n" 7)"
    target="$(phone "$n" default)"
    for _ in $(seq "$runs"); do
        fresh_copy "$source" "$work/source"
        if [ "$mode" = merge ]; then
            fresh_copy "$target" "$work/target"
        else
            rm -rf "$work/target"
        fi
        line="$("$build/bin/velliport-bench-merge" "$mode" "$work/source" "$work/target")"
        times+=("$(echo "$line" | field "${mode}_s")")
        written="$(echo "$line" | field written)"
    done
    seconds="$(printf '%s\n' "${times[@]}" | best)"
}
