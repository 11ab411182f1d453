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

# matches_schema SCHEMA FILE: FILE holds one JSON value that the JSON Schema SCHEMA accepts;
# what it breaks is printed. Needs Python's jsonschema (Debian's python3-jsonschema, installed by
# scripts/setup-debian.sh), looked for in the system's python3 first.
matches_schema() {
  for python in /usr/bin/python3 python3; do
    "$python" -c 'import jsonschema' 2>/dev/null || continue
    "$python" - "$1" "$2" <<'PY'
import json, sys, jsonschema
with open(sys.argv[1], encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
with open(sys.argv[2], encoding="utf-8") as f:
    value = json.load(f)
errors = list(jsonschema.Draft202012Validator(schema).iter_errors(value))
for error in errors:
    where = "/".join(str(part) for part in error.absolute_path) or "(the object)"
    print(f"{sys.argv[2]}: {where}: {error.message}")
sys.exit(1 if errors else 0)
PY
    return
  done
  echo "no python3 with jsonschema: install python3-jsonschema (scripts/setup-debian.sh)"
  return 1
}
