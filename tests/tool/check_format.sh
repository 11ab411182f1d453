#!/bin/sh
# check_format.sh SOURCE_DIR
# Every C and C++ source of the tree is as clang-format leaves it (the repository's
# .clang-format); the generated case tables are data, not code.
set -e
cd "$1"
files=$(find src include tools tests bench fuzz examples -type f \
          \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.c' \) | sort)
count=$(printf '%s\n' "$files" | wc -l)
if ! out=$(printf '%s\n' "$files" | xargs clang-format --dry-run --Werror 2>&1); then
  printf '%s\n' "$out" | grep -E '^[^ ].*: (warning|error):' | sed 's/:[0-9]*:[0-9]*: .*//' | sort -u |
    sed 's/^/not formatted: /'
  echo "run: clang-format -i on the files above"
  exit 1
fi
echo "$count files formatted"
