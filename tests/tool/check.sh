# Sourced by the tool's shell tests. check DESCRIPTION CONDITION... counts the condition as passed
# or failed and, when it fails, shows what the tool printed to $out and $err.
passed=0 failed=0
check() {
  description="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description"
    echo "--- stdout:"; tr -d '\r' <"$out"
    echo "--- stderr:"; cat "$err"
  fi
}
