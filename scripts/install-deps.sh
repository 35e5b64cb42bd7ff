#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark
# and look at its window. Idempotent: packages already installed are skipped,
# and apt-get update runs only when something is missing.
#
#   scripts/install-deps.sh           building, testing, the benchmarks
#   scripts/install-deps.sh --bench   the same and PostgreSQL's server, the
#                                     second reference of bench/index-build.sh
#                                     (which skips it, saying so, without it)
# PostgreSQL is asked for by name only: the Debian package makes and starts a
# cluster of its own, a server no build or test needs; the benchmark starts a
# throw-away one from the package's programs and stops it again.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgcc-12-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libssl-dev
  fonts-liberation fonts-dejavu-core
  python3 sqlite3 clang-format
  clang-14 libclang-rt-14-dev
  xvfb xauth x11-utils imagemagick xdotool
)
if [[ ${1:-} == --bench ]]; then
  PACKAGES+=(postgresql)
elif [[ -n ${1:-} ]]; then
  echo "usage: scripts/install-deps.sh [--bench]" >&2
  exit 2
fi

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "install-deps: done"
