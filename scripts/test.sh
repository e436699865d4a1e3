#!/usr/bin/env bash
# Installs what is missing, builds (with the benchmarks and trials, whose quick
# runs are tests), and runs every test headless (arguments go to cmake, see
# build.sh).
set -euo pipefail
here="$(dirname "$0")"
"$here/deps.sh"
"$here/build.sh" -DTALLIMO_BUILD_BENCH=ON "$@"
cd "$here/../${BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
