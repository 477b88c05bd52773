#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks the tree a desktop and
# Debian expect: the programs, the agent builds, the menu entry, the AppStream data, the
# icons and the manual pages. Then runs the installed programs with the build tree hidden
# (a private mount over it), so that nothing they need may still come from there.
#
#   install-tree.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
id=org.velliport.Velliport

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in desktop-file-validate appstreamcli man file sqlite3 unshare; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

# Outside the build tree, which the installed programs must not see.
work=$(mktemp -d /tmp/velliport-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for path in bin/velliport bin/velliport-cli bin/portwarden \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg share/bash-completion/completions/velliport-cli \
    share/man/man1/velliport.1.gz share/man/man1/velliport-cli.1.gz \
    share/doc/velliport/copyright share/doc/velliport/changelog.gz \
    share/velliport/vbbb/bb1_01.png; do
    [ -s "$prefix/$path" ] || fail "$path is not installed"
done
[ "$(ls "$prefix/bin" | tr '\n' ' ')" = "portwarden velliport velliport-cli " ] ||
    fail "bin holds $(ls "$prefix/bin" | tr '\n' ' ')"
[ -z "$(find "$prefix" -name .generated)" ] || fail "a build stamp is installed"
for size in 16 22 24 32 48 64 128 256 512; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
    file "$png" | grep -q "PNG image data, $size x $size," || fail "icon $size: $(file "$png")"
done
for built in "$build"/bin/agent/*/velliport-agent; do
    abi=$(basename "$(dirname "$built")")
    [ -x "$prefix/lib/velliport/agent/$abi/velliport-agent" ] || fail "the $abi agent is not installed"
done

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
report=$(appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml") ||
    fail "appstreamcli validate: $report"

# The installed programs, with the build tree hidden and a home of their own.
mkdir -m 700 "$work/home" "$work/run" "$work/tmp"
run() {
    env XDG_DATA_HOME="$work/home" XDG_CONFIG_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
        TMPDIR="$work/tmp" QT_QPA_PLATFORM=offscreen "$@"
}
hidden() {
    run unshare --mount --map-root-user sh -c 'mount -t tmpfs tmpfs "$0" && exec "$@"' "$build" "$@"
}
version=$(hidden "$prefix/bin/velliport-cli" --version) || fail "velliport-cli --version"
[ "$version" = "velliport-cli $(hidden "$prefix/bin/velliport" --version | cut -d' ' -f2)" ] ||
    fail "the versions differ: $version"
window_help=$(hidden "$prefix/bin/velliport" --help) || fail "velliport --help"
grep -q -- "--open-database" <<<"$window_help" || fail "velliport --help: $window_help"
grep -q "<release version=\"${version#velliport-cli }\"" "$prefix/share/metainfo/$id.metainfo.xml" ||
    fail "the AppStream data names no release $version"
# An HTML export copies the bubble pictures and emoji, which only the installed tree holds.
cat "$source/tests/data/desktop/viber_db_schema.sql" "$source/tests/data/desktop/viber_db_rows.sql" |
    sqlite3 "$work/viber.db"
hidden "$prefix/bin/velliport-cli" export "$work/viber.db" --quiet --format html --output "$work/html" ||
    fail "the installed velliport-cli does not export"
[ -s "$work/html/files/bb1_01.png" ] && [ -n "$(ls "$work/html/emoji")" ] ||
    fail "the export found no pictures"

# The manual pages render without a warning and hold every command and option of the help.
for program in velliport velliport-cli; do
    page=$prefix/share/man/man1/$program.1.gz
    warnings=$(LC_ALL=C MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $program: $warnings"
    text=$(LC_ALL=C MANWIDTH=80 man -l "$page" 2>/dev/null)
    helps=$(run "$prefix/bin/$program" --help)
    if [ "$program" = velliport-cli ]; then
        while read -r command; do
            grep -q "^   $command\$" <<<"$text" || fail "man $program has no command $command"
            helps+=$'\n'$(run "$prefix/bin/$program" $command --help)
        done < <(sed -n '/^Commands:/,/^$/p' <<<"$helps" | grep -oE '^  [a-z][a-z-]*( [a-z][a-z-]*)*' |
            sed 's/^  //')
    fi
    for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$helps" | sort -u); do
        grep -q -- "$option" <<<"$text" || fail "man $program lacks $option"
    done
done
echo "installed tree checked under $prefix"
