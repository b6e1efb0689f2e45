#!/usr/bin/env bash
# Runs make with the given targets, first installing make itself when it is
# missing (a fresh Debian 12 has bash and apt, not always make):
#   ./make.sh run     ./make.sh test
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v make >/dev/null 2>&1; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
  fi
  echo "Installing make"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends make
fi
exec make "$@"
