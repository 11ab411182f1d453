#!/bin/sh
# Builds a Release native build in build/bench and runs every comparison against its peer in one
# run, printing one table of medians. Arguments go to the benchmark program, e.g.
# --benchmark_filter=load to run only some comparisons.
# The inputs (registry files, directory trees, a prefix) are generated once into build/bench/data.
# Exits non-zero only when something can't be built or run; a missed target is shown in the
# table, not failed.
set -e
cd "$(dirname "$0")/.."
scripts/setup-debian.sh >&2
cmake --preset native -B build/bench -DCMAKE_BUILD_TYPE=Release -DTAVLO_BUILD_TESTS=OFF \
  -DTAVLO_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j2 --target tavlo_bench >&2
# Random interleaving runs the repetitions of every comparison in turn, so that a machine
# that gets busier part way through slows both sides alike.
TAVLO_BENCH_DATA="$PWD/build/bench/data" build/bench/bin/tavlo_bench \
  --benchmark_repetitions="${TAVLO_BENCH_REPETITIONS:-5}" \
  --benchmark_enable_random_interleaving=true "$@"
