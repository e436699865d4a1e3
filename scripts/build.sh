#!/usr/bin/env bash
# Configures and builds everything into build/ (program and tests; the
# benchmarks too with -DTALLIMO_BUILD_BENCH=ON, as scripts/test.sh does).
# The build's progress goes to build/build.log; only what the compiler has to
# say (warnings, errors) is shown, so a run with nothing to rebuild is quiet.
# BUILD_DIR and BUILD_TYPE choose another folder and build type,
# TALLIMO_WERROR=ON turns warnings into errors; arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
mkdir -p "$dir"

# Everything in a log that is not a progress line.
diagnostics() {
    local progress='^\[ *[0-9]+%\]|^Consolidate compiler generated|^g?make(\[[0-9]+\])?: (Entering|Leaving)'
    grep -vE "$progress|^ninja: no work" "$1" || true
}

[ -f "$dir/CMakeCache.txt" ] || echo "Configuring $dir/"
if ! cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    ${TALLIMO_WERROR:+-DTALLIMO_WERROR="$TALLIMO_WERROR"} "$@" >"$dir/configure.log" 2>&1; then
    cat "$dir/configure.log" >&2
    exit 1
fi

if [ -f "$dir/bin/tallimo" ]; then
    echo "Building in $dir/"
else
    echo "Building in $dir/ (a few minutes the first time; progress in $dir/build.log)"
fi
if ! cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1; then
    diagnostics "$dir/build.log" >&2
    echo "Build failed; the whole output is in $dir/build.log" >&2
    exit 1
fi
diagnostics "$dir/build.log"
