#!/usr/bin/env bash
# Builds the Debian package of Velliport in a Release tree of its own (build-package/):
# only the programs and what installs with them, then "cpack -G DEB". The package lands
# in build-package/, its dependencies computed from the binaries by dpkg-shlibdeps.
#   scripts/package.sh [CMAKE_OPTION...]     e.g. -DVELLIPORT_HOMEPAGE=https://...
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
tree=build-package
generator=()
command -v ninja >/dev/null && [ ! -f "$tree/CMakeCache.txt" ] && generator=(-G Ninja)
# The install step must not build the tests too: the targets below are all it takes.
cmake -S . -B "$tree" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "$@"
cmake --build "$tree" --target velliport_installed --parallel "$(nproc)"
(cd "$tree" && cpack -G DEB)
deb=$(ls -t "$tree"/velliport_*.deb | head -1)
dpkg-deb --info "$deb"
lintian --fail-on error "$deb"
echo "Package: $deb"
