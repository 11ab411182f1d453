#!/bin/sh
# Builds both builds and runs all their tests: natively, the Windows build under Wine, and
# the native build again with AddressSanitizer and UndefinedBehaviorSanitizer, and the concurrent
# readers' test with ThreadSanitizer; then the packages of both builds with programs built
# against them, and every fuzz target for 30 seconds.
set -e
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
for preset in native windows asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== packages"
scripts/package-test.sh
scripts/fuzz.sh 30
