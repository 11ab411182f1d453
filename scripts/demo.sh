#!/bin/sh
# Builds the Linux build and shows what it resolves for the bundled demo prefix.
set -e
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset native >/dev/null
cmake --build --preset native --target tavlo
build/native/bin/tavlo --prefix examples/demo show
