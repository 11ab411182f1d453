#!/bin/sh
# Builds both builds and runs all their tests: natively, the Windows build under Wine, and
# the native build again with AddressSanitizer and UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
for preset in native windows asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
