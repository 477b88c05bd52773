# Shared by merge-scaling.sh and merge-vs-backup.sh (sourced; expects $build).
# Phones come from velliport-gen-android over 500 chats and are generated once into
# $build/bench-data: the target with the generator's default seed (the phones
# android-load uses), the source with seed 7, so that the two share numbers and group
# ids (chats merge into existing conversations) but no message tokens.
chats=500
runs=5

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
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# timed MESSAGES MODE...: each of $runs rounds runs every MODE of velliport-bench-merge
# once, in turn, so that a slow spell of a shared machine falls on all: MESSAGES messages
# of the source phone merged into a fresh copy of the target phone of as many (merge,
# restore) or backed up into a new local database (backup). Sets median_s[MODE] to the
# median of the times and rows_written[MODE] to the rows the last run wrote.
declare -A median_s rows_written
timed() {
    local n="$1" mode source target line
    shift
    local -A times=()
    source="$(phone "$n" 7)"
    target="$(phone "$n" default)"
    for _ in $(seq "$runs"); do
        for mode in "$@"; do
            fresh_copy "$source" "$work/source"
            if [ "$mode" = backup ]; then
                rm -rf "$work/target"
            else
                fresh_copy "$target" "$work/target"
            fi
            line="$("$build/bin/velliport-bench-merge" "$mode" "$work/source" "$work/target")"
            times[$mode]+="$(echo "$line" | field "${mode}_s") "
            rows_written[$mode]="$(echo "$line" | field written)"
        done
    done
    for mode in "$@"; do
        median_s[$mode]="$(printf '%s\n' ${times[$mode]} | median)"
        echo "$mode $n: ${times[$mode]}" >&2
    done
}

# quotient A B: A / B to three places.
quotient() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }'; }
