#!/usr/bin/env bash
# Builds the small host in tests/consumer twice, with the asan preset's flags: against the package
# installed from a build directory into a temporary prefix (find_package), and from this source
# tree (add_subdirectory, which builds the library with those flags too). Each build runs the
# host once with every required service, once without running its main loop (about 10 s) and
# once without each required service.
# Usage: check-consumer.sh [BUILD_DIR] (default build/dev, built already).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-consumer-XXXXXX")
trap 'rm -rf "$work"' EXIT
jobs=${ZARN_CONSUMER_JOBS:-4}
mapfile -t asan < <(cmake -DPRESET=asan -P "$root/scripts/preset-variables.cmake")

run_host() {
  "$1/consumer" "$work/home"
  "$1/consumer" --no-main-loop "$work/home" | tail -n 1
  for field in deviceInfo application locationAuthorization locationManagerFactory; do
    "$1/consumer" --without "$field" "$work/home" | tail -n 1
  done
}

echo "== consumer: cmake --install into a temporary prefix, then find_package(zarn) =="
cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -path ./include -prune -o -type f -print | sort)
echo "   + $(find "$work/prefix/include" -name '*.h' | wc -l) headers under include/zarn"
cmake -S "$root/tests/consumer" -B "$work/find" -G Ninja --no-warn-unused-cli "${asan[@]}" -DCMAKE_PREFIX_PATH="$work/prefix" \
    >/dev/null
cmake --build "$work/find" -j "$jobs" >/dev/null
run_host "$work/find"

echo "== consumer: add_subdirectory(zarn) =="
cmake -S "$root/tests/consumer" -B "$work/sub" -G Ninja "${asan[@]}" -DZARN_SOURCE_DIR="$root" >/dev/null
# Only the library and the app are built: no tests, benchmarks or example host of zarn.
targets=$(cmake --build "$work/sub" --target help | grep -E '^(zarn_tests|zarn_bench|zarn-sim|zarn_sim|zarn_test_service|zarn_testing):' || true)
if [ -n "$targets" ]; then
    echo "consumer: zarn as a subproject defines its own test targets: $targets"
    exit 1
fi
cmake --build "$work/sub" -j "$jobs" >/dev/null
run_host "$work/sub"
echo "consumer: both builds link zarn::zarn and run clean under the asan preset's flags"
