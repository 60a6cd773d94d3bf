#!/usr/bin/env bash
# Installs the Debian 12 packages Zorvik needs to build, run and test (run as root).
# Idempotent: packages already there are not fetched again.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  qt6-translations-l10n
  libgtest-dev
  fonts-liberation fonts-dejavu-core
  xvfb xauth x11-apps imagemagick
  poppler-utils
  python3 python3-dbfread python3-dbf
  clang libclang-rt-14-dev
  dpkg-dev lintian desktop-file-utils appstream shared-mime-info libglib2.0-bin xdg-utils file man-db
  g++-mingw-w64-x86-64-posix googletest wine64
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
