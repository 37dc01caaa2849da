#!/usr/bin/env bash
# Sets up the machine, builds, and runs the server on 127.0.0.1:14441 (WebSocket on 14541)
# with the data directory of the build tree (build/data). Stop it with Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ninja -C build -j"$(nproc)" corvina
exec build/bin/corvina --server --host 127.0.0.1 --port "${PORT:-14441}"
