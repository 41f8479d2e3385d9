#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing (as root or with sudo).
#   scripts/setup.sh          what building and running the program needs
#   scripts/setup.sh --test   that, and what the tests and the package checks need
#   scripts/setup.sh [--test] PACKAGE...   and these besides (scripts/fuzz.sh: clang)
set -euo pipefail

# Building and running the program (scripts/run.sh). Keep this list short: it
# decides how long a newcomer waits for the first window.
build_packages=(
  cmake g++ make
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
  qt6-translations-l10n
  nlohmann-json3-dev libphonenumber-dev
  fonts-dejavu-core
  libpcsclite-dev  # PC/SC readers: the pcsc-lite headers and library
)

# Everything else: tests, the end-to-end suite under Xvfb, the package and its checks.
test_packages=(
  ccache
  libgtest-dev libgmock-dev
  xvfb xauth xdotool imagemagick x11-utils python3 python3-vobject
  dpkg-dev file desktop-file-utils appstream lintian
  ser2net
  # The PC/SC tests run a private pcscd with the virtual reader vpcd. Installing pcscd starts no
  # daemon without systemd or a known runlevel (a container); a running one makes those tests
  # refuse to start theirs.
  pcscd vsmartcard-vpcd
)

packages=("${build_packages[@]}")
if [ "${1:-}" = "--test" ]; then
  packages+=("${test_packages[@]}")
  shift
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  # unsafe-io: dpkg skips its fsync per file, which is most of the install time
  # of a fresh machine; only a power cut in the middle would need a reinstall.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    -o Dpkg::Options::=--force-unsafe-io "${missing[@]}"
fi
