#!/bin/sh
# Builds the libFuzzer targets of fuzz/ (preset fuzz, clang) and runs each for SECONDS (default
# 30) on a scratch copy of its seed corpus below the build tree, so that what a run discovers
# never grows the corpus in git. Fails when any target finds a crash, a leak, undefined
# behaviour or an input that runs over 10 seconds; that input and the log are left beside the
# scratch corpus.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${TAVLO_FUZZ_BUILD:-build/fuzz}
scripts/setup-debian.sh
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target fuzzers
failed=
passed=0
for seeds in fuzz/corpus/*/; do
  target=$(basename "$seeds")
  run=$build/fuzz-runs/$target
  rm -rf "$run"
  mkdir -p "$run/corpus"
  cp "$seeds"* "$run/corpus/"
  echo "== fuzz_$target, ${seconds}s"
  if "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$run/" "$run/corpus" >"$run/log" 2>&1; then
    tail -n 1 "$run/log"
    passed=$((passed + 1))
  else
    tail -n 40 "$run/log"
    failed="$failed fuzz_$target"
  fi
done
echo "fuzz: $passed passed, $(echo $failed | wc -w) failed"
if [ -n "$failed" ]; then
  echo "fuzzing found problems in:$failed (inputs and logs in $build/fuzz-runs)"
  exit 1
fi
