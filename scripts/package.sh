#!/usr/bin/env bash
# Builds the Debian package from the install target into build/
# (tallimo_<version>-<release>_<arch>.deb) and checks it with lintian; an
# error or a warning lintian has not been told about fails the run. Installs
# the packaging tools first when missing; arguments go to cmake (see build.sh).
#
#   scripts/package.sh && sudo apt install ./build/tallimo_*.deb
set -euo pipefail
here="$(dirname "$0")"
"$here/deps.sh" --package
"$here/build.sh" "$@"
cd "$here/../${BUILD_DIR:-build}"
rm -f tallimo_*.deb
if ! cpack -G DEB >package.log 2>&1; then
    cat package.log >&2
    exit 1
fi
deb="$(ls tallimo_*.deb)"
echo "Package: ${BUILD_DIR:-build}/$deb"
# lintian warns when run as root; the package is only read.
lintian --fail-on error,warning "$deb" 2> >(grep -v "running with root privileges" >&2)
