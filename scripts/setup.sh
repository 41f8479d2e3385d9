#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root or with sudo),
# and the packages named as arguments.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 nlohmann-json3-dev
          libgtest-dev libgmock-dev ccache xvfb xauth xdotool imagemagick x11-utils fonts-dejavu-core python3
          "$@")  # packages a caller needs besides (scripts/fuzz.sh: clang)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
