#!/bin/bash
# SPDX-License-Identifier: MIT
# Makes the Debian package as packagers build: a Release build for /usr with Debian's
# hardening flags and without the tests, then CPack.
#   package.sh [DIR [CMAKE_OPTION ...]]   leaves DIR (default build-deb)/orvane_VERSION_ARCH.deb
# Install it with `apt-get install ./DIR/orvane_*.deb`, which brings what it depends on.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}
shift || true
bash scripts/install-deps.sh
# CMake reads CFLAGS, CXXFLAGS and LDFLAGS when it first configures a folder, not CPPFLAGS.
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
bash scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF -DORVANE_BENCH=OFF "$@"
rm -f "$dir"/orvane_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/orvane_*.deb
