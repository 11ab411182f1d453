#!/bin/sh
# demo_transcript.sh EXPECTED DEMO TOOL          (Linux build: reads the demo prefix's files)
# demo_transcript.sh EXPECTED DEMO WINE-RUN TOOL (Windows build: runs in a copy of the prefix)
# Runs the tool's commands on the bundled demo; both builds must print exactly the same.
set -e
expected="$1" demo="$2"
shift 2
if [ $# -eq 2 ]; then
  prefix="$(dirname "$2")/../demo-prefix"
  rm -rf "$prefix"
  cp -a "$demo" "$prefix"
  wine_run="$1" tool="$2"
  run() { "$wine_run" "$prefix" "$tool" "$@"; }
else
  tool="$1"
  run() { "$tool" --prefix "$demo" "$@"; }
fi
transcript() {
  for command in "show --json" "get plotters-directory" "get raster-threshold" \
                 "help-file" "help-file plotting.chm" "notice MyHpgl-Driver.drv" \
                 "notice Other.drv" "reg query HKLM\\Software\\Veltrane\\Outprint" \
                 "reg query HKCU\\Software\\Veltrane\\Corvida\\R1\\KORA-7:1\\Profiles /ve" \
                 "help" "notice --help"; do
    printf '$ tavlo %s\n' "$command"
    # shellcheck disable=SC2086
    run $command 2>/dev/null || printf '(exit status %s)\n' "$?"
  done
}
# Where a directory is on the Linux file system is the Linux build's own addition.
actual=$(transcript | sed -E 's/,"nativePath":"[^"]*","nativePathExists":(true|false)//g')
# TAVLO_UPDATE_TRANSCRIPT=1 records the answers as the new expectation (review the diff).
if [ -n "$TAVLO_UPDATE_TRANSCRIPT" ]; then
  printf '%s\n' "$actual" > "$expected"
fi
if [ "$actual" != "$(cat "$expected")" ]; then
  echo "The tool's answers on the demo differ from $expected:"
  printf '%s\n' "$actual" | diff "$expected" - || true
  exit 1
fi
# The JSON form, native paths and all, is one its schema accepts.
. "$(dirname "$0")/check.sh"
json="$(cd "$(dirname "$tool")/.." && pwd)/demo-show.json"
run show --json >"$json" 2>/dev/null
if ! matches_schema "$(dirname "$0")/../../tools/tavlo/show.schema.json" "$json"; then
  echo "tavlo show --json on the demo is not what its schema describes"
  exit 1
fi
# Wrongly typed values: what a failed read leaves in the answer is told as such, never as the
# default.
typed="$(cd "$(dirname "$tool")/.." && pwd)/demo-typed"
rm -rf "$typed"
cp -a "$demo" "$typed"
sed -i '/Unnamed Profile>>\\\\General\] /a "KORAPLCMD"=str(2):"lpr"\n"RASTERPERCENT"=hex:05,00,00,00' \
  "$typed/user.reg"
general='HKEY_CURRENT_USER\SOFTWARE\Veltrane\Corvida\R1\KORA-7:1\Profiles\<<Unnamed Profile>>\General'
for row in "autospool-command-string|lpr|KORAPLCMD is REG_EXPAND_SZ, not REG_SZ" \
           "raster-percent|5|RASTERPERCENT is REG_BINARY, not REG_DWORD"; do
  name=${row%%|*} rest=${row#*|}
  value=${rest%%|*} why=${rest#*|}
  if [ -n "$wine_run" ]; then
    actual=$("$wine_run" "$typed" "$tool" get "$name" --show-origin 2>/dev/null | tr -d '\r')
  else
    actual=$("$tool" --prefix "$typed" get "$name" --show-origin 2>/dev/null)
  fi
  wanted=$(printf '%s\n    from: as read, though %s\\%s' "$value" "$general" "$why")
  if [ "$actual" != "$wanted" ]; then
    printf 'tavlo get %s --show-origin on a wrongly typed value gave\n%s\ninstead of\n%s\n' \
      "$name" "$actual" "$wanted"
    exit 1
  fi
done
echo "4 passed, 0 failed"
