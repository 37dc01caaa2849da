#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the
# fixture generators need. Idempotent; run as root (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev git
  # Qt 6.4
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-httpserver-dev
  qt6-websockets-dev qt6-pdf-dev qt6-translations-l10n qt6-l10n-tools
  libgl-dev
  # table file reader
  liborcus-dev libfreexl-dev libgumbo-dev libcsv-dev
  # compression, XML schema validation
  zlib1g-dev libxml2-dev libxml2-utils
  # tests, benchmarks, load
  libbenchmark-dev sqlite3 curl wrk hyperfine xvfb xauth
  # fixture producers (statements are committed; these regenerate them)
  python3 python3-openpyxl python3-xlwt python3-reportlab libreoffice-calc-nogui
)

SUDO=
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Node.js (for the WebSocket client test) ships with the machine image on our
# build hosts; take Debian's only where none is present.
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The npm WebSocket client of the server tests, pinned by its lock file.
wsclient="$(dirname "$0")/../tests/server/wsclient"
if [ ! -d "$wsclient/node_modules/ws" ]; then
  echo "setup: installing the npm WebSocket client for the tests"
  (cd "$wsclient" && npm ci --no-audit --no-fund --loglevel=error)
fi
