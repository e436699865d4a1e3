#!/usr/bin/env bash
# Installs the Debian 12 packages Tallimo needs to build, run and test; with
# --package also what scripts/package.sh needs to make and check the Debian
# package. Does nothing (and needs no network) when they are all present already.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n libgl-dev
  sqlite3 libsqlite3-dev libsodium-dev
  libpq-dev postgresql
  zlib1g-dev libxlsxwriter-dev libzip-dev
  fonts-wqy-microhei
  poppler-utils xvfb xauth unzip
  clang-format clang-tidy
  clang libclang-rt-14-dev
)
# cpack's DEB generator computes the dependencies with dpkg-shlibdeps (dpkg-dev)
# and finds the programs with file; lintian checks the package.
if [ "${1:-}" = --package ]; then
  PACKAGES+=(dpkg-dev file lintian)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
