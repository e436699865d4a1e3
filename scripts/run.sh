#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tallimo (extra arguments go to it).
set -euo pipefail
here="$(dirname "$0")"
"$here/deps.sh"
"$here/build.sh"
exec "$here/../build/bin/tallimo" "$@"
