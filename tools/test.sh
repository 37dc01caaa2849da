#!/usr/bin/env bash
# Sets up the machine, builds and runs every test: once in a normal build (build/) and
# once with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/).
#   tools/test.sh            both passes
#   tools/test.sh --quick    the normal pass only
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

jobs=$(nproc)
run_pass() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  ninja -C "$dir" -j"$jobs"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 600)
}

run_pass build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" != "--quick" ]; then
  # Qt's own libraries are not instrumented; their allocations at exit are not ours to report.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  run_pass build-asan -DCMAKE_BUILD_TYPE=Debug -DCORVINA_SANITIZE=ON -DCORVINA_BENCH=OFF
fi
