#!/bin/sh
# check_exports.sh LIST LIBRARY
# The built library's export table holds exactly the names of LIST: read from the PE export
# directory of a DLL, or from the dynamic symbols of a shared object.
set -e
list="$1" library="$2"
case "$library" in
  *.dll) actual=$(x86_64-w64-mingw32-objdump -p "$library" |
                  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
                  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p') ;;
  *)     actual=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TWDBVi]$/ {print $3}') ;;
esac
expected=$(grep -v '^#' "$list" | sort)
actual=$(printf '%s\n' "$actual" | sort)
if [ "$expected" != "$actual" ]; then
  echo "The export table of $library differs from $list (< missing, > extra):"
  printf '%s\n' "$expected" > "${TMPDIR:-/tmp}/tavlo-exports-expected.$$"
  printf '%s\n' "$actual" | diff "${TMPDIR:-/tmp}/tavlo-exports-expected.$$" - || true
  rm -f "${TMPDIR:-/tmp}/tavlo-exports-expected.$$"
  exit 1
fi
echo "$(printf '%s\n' "$expected" | wc -l) exports as listed"
echo "1 passed, 0 failed"
