#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: packages already present are not reinstalled.
set -euo pipefail
PKGS=(
  build-essential cmake python3 ccache
  zlib1g-dev libbz2-dev libexpat1-dev libicu-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  coinor-libclp-dev coinor-libcoinutils-dev libglpk-dev
  coinor-clp coinor-cbc glpk-utils
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq || true
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
