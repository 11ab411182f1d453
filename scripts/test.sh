#!/bin/sh
# Builds both builds and runs all their tests: natively, and the Windows build under Wine.
set -e
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
for preset in native windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
