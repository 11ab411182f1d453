#!/bin/sh
# show_demo.sh EXPECTED DEMO TOOL          (Linux build: reads the demo prefix's files)
# show_demo.sh EXPECTED DEMO WINE-RUN TOOL (Windows build: runs in a copy of the demo prefix)
# Both builds must tell exactly the same story about the demo.
set -e
expected="$1" demo="$2"
shift 2
if [ $# -eq 2 ]; then
  prefix="$(dirname "$2")/../demo-prefix"
  rm -rf "$prefix"
  cp -a "$demo" "$prefix"
  actual=$("$1" "$prefix" "$2" show --json)
else
  actual=$("$1" --prefix "$demo" show --json)
fi
# Where a directory is on the Linux file system is the Linux build's own addition.
actual=$(printf '%s\n' "$actual" | sed -E 's/,"nativePath":"[^"]*","nativePathExists":(true|false)//g')
if [ "$actual" != "$(cat "$expected")" ]; then
  echo "tavlo show --json differs from $expected:"
  printf "%s\n" "$actual"
  exit 1
fi
echo "1 passed, 0 failed"
