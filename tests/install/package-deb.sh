#!/usr/bin/env bash
# Builds the Debian package from this build tree with the project's own CPack settings
# (dependencies computed from the binaries by dpkg-shlibdeps) and checks it the way a
# Debian maintainer would: its control fields, its file list, and lintian without errors.
# Compression is gzip here, so that the check stays quick; scripts/package.sh makes the
# release package.
#
#   package-deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d /tmp/velliport-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(tail -n 20 "$work/cpack.log")"
deb=$(ls "$work"/*.deb)

info=$(dpkg-deb --info "$deb")
for field in "Package: velliport" "Recommends: adb" "Homepage: " "Description: "; do
    grep -q "^ $field" <<<"$info" || fail "the control file has no \"$field\": $info"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for library in libqt6core6 libqt6widgets6 libsqlite3-0 libarchive13 libssl3 libc6; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

contents=$(dpkg-deb --contents "$deb")
for path in ./usr/bin/velliport ./usr/bin/velliport-cli ./usr/bin/portwarden \
    ./usr/share/man/man1/velliport.1.gz ./usr/share/man/man1/portwarden.1.gz \
    ./usr/share/doc/velliport/copyright ./usr/lib/velliport/agent/; do
    grep -q " $path" <<<"$contents" || fail "the package does not hold $path"
done

# Run as root in CI, lintian says so on standard error; only its tags count.
report=$(lintian --fail-on error "$deb" 2>/dev/null) || fail "lintian: $report"
echo "$report"
echo "package checked: $(basename "$deb")"
