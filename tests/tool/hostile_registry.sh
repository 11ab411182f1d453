#!/bin/sh
# hostile_registry.sh TOOL HOOK            (Linux build: reads the prefix's files)
# hostile_registry.sh WINE-RUN TOOL HOOK   (Windows build: runs inside the prefix)
# Every command on a prefix where a ".pc3" association names C:\x\host.exe and the catalogue only
# an application that isn't installed, so that discovery ends in the library's TAVLO_AppKey_Error:
# no command may abort; one the error reaches says so and exits with 3. Command lines the tool
# must refuse exit with 2; reg query's own options reach it as they were given. Then a product
# hook beside that host program: show names the file it was really loaded from. Then a file there
# that is no module: the tool says it was refused and why. HOOK is a product hook built for the
# build under test.
set -e
if [ $# -eq 3 ]; then
  wine_run="$1" tool="$2" hook="$3"
else
  wine_run="" tool="$1" hook="$2"
fi
work="$(cd "$(dirname "$tool")/.." && pwd)/hostile-tool"
prefix="$work/prefix"
rm -rf "$work"
mkdir -p "$prefix/dosdevices" "$prefix/drive_c/x" "$work/documents"
ln -s ../drive_c "$prefix/dosdevices/c:"
# The association goes below HKEY_LOCAL_MACHINE\Software\Classes, where Wine's
# HKEY_CLASSES_ROOT finds it too.
printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n' \
  > "$prefix/user.reg"
cat > "$prefix/system.reg" <<'EOF'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Classes\\.pc3] 1764950400
@="p"

[Software\\Classes\\p\\shell\\open\\command] 1764950400
@="\"C:\\x\\host.exe\" \"%1\""

[Software\\Odd\\half\xd800pair] 1764950400
"lone"="surrogate"

[Software\\Veltrane\\Outprint] 1764950400
"Odd\b\x1 \"q\" \\ caf\xe9"=dword:00000001

EOF
# The hook leaves a trace in the current directory: a folder of the test's own.
cd "$work/documents"
out="$work/out" err="$work/err"
run() {
  status=0
  if [ -n "$wine_run" ]; then
    LC_ALL=C.UTF-8 "$wine_run" "$prefix" "$tool" "$@" >"$out" 2>"$err" || status=$?
  else
    LC_ALL=C.UTF-8 "$tool" --prefix "$prefix" "$@" >"$out" 2>"$err" || status=$?
  fi
}
. "$(dirname "$0")/check.sh"
has() { grep -qiF -- "$2" "$1"; }
empty() { [ ! -s "$1" ]; }
schema="$(cd "$(dirname "$0")/../.." && pwd)/tools/tavlo/show.schema.json"
valid_json() { matches_schema "$schema" "$out"; }

# command | exit status | what stderr must hold ("-": nothing in particular)
while IFS='|' read -r command expected says; do
  # shellcheck disable=SC2086
  run $command
  check "tavlo $command: exit status $status, expected $expected" [ "$status" = "$expected" ]
  check "tavlo $command: no abort" eval '! has "$err" "terminate called"'
  if [ "$says" != "-" ]; then
    check "tavlo $command: tells the error" has "$err" "$says"
    check "tavlo $command: gives the message text" \
      has "$err" "could not be determined. The application may not be installed correctly"
  fi
  case "$command" in
    show*--json*) check "tavlo $command: JSON its schema accepts on stdout" valid_json ;;
  esac
  if [ "$expected" = 3 ]; then
    case "$command" in
      show*) check "tavlo $command: nothing on stdout" empty "$out" ;;
    esac
  fi
done <<'EOF'
show|1|-
show --json|1|-
show --show-origin|1|-
get app-key|1|-
get app-key --show-origin|1|-
get is-corvida|3|tavlo get: the library raised TAVLO_AppKey_Error in
get current-profile-key|3|tavlo get: the library raised TAVLO_AppKey_Error in
get plotters-directory|1|-
get plotters-directory --show-origin|1|-
help-file|3|tavlo help-file: the library raised TAVLO_AppKey_Error in
help-file plotting.chm|1|-
notice Some.drv|1|-
reg query HKCR\.pc3|0|-
reg query HKCR\.pc3 /VE|0|-
reg query HKCR\.pc3 -ve|0|-
reg query HKCR\.pc3 -h|0|-
bogus|2|-
--bogus show|2|-
show --bogus|2|-
get plotters-directory app-key|2|-
help show|0|-
notice -x Some.drv|2|-
EOF

# A name with control characters, quotes, a backslash and a letter beyond ASCII comes back whole
# from the JSON form.
decodes_odd_name() {
  command -v python3 >/dev/null 2>&1 || return 0
  python3 -c 'import json, sys
sys.exit(json.load(open(sys.argv[1]))["candidates"][0]["key"] != "Odd\b\x01 \"q\" \\ caf\xe9")' "$out"
}
run show --json
check "show --json: the candidate's odd name" decodes_odd_name

# A key named with an unpaired surrogate has no UTF-8 name: /s still reaches its values.
run reg query 'HKLM\Software\Odd' /s
check "reg query /s below a key with an unpaired surrogate: exit status $status" [ "$status" = 0 ]
check "reg query /s below a key with an unpaired surrogate: its values" has "$out" surrogate

# A hook beside the host program, its name in another case than the library composes it.
cp "$hook" "$prefix/drive_c/x/UserData.DLL"
run show
check "show with a hook: exit status $status" [ "$status" = 0 ]
check "show with a hook: its key" has "$out" 'App key:          Software\Traced\Hook'
if [ -n "$wine_run" ]; then
  # The loader's own name for it, which Windows compares without regard to case.
  check "show with a hook: the file loaded" has "$out" 'found by:       the product hook C:\x\userdata.dll (asked for beside the host executable, as C:\x\userdata.dll)'
else
  check "show with a hook: the file loaded" has "$out" "found by:       the product hook $prefix/dosdevices/c:/x/UserData.DLL (asked for beside the host executable, as C:\\x\\userdata.dll)"
fi
run show --json
check "show --json with a hook: JSON its schema accepts" valid_json
check "show --json with a hook: found by it" has "$out" '"source":"hook-host"'
check "show --json with a hook: the file loaded" has "$out" '"hook":"'
check "show --json with a hook: the name asked for" has "$out" '"hookRequested":"C:\\x\\userdata.dll"'
rm -f "$prefix/drive_c/x/UserData.DLL"

# A file there that is no module at all: refused, and the tool tells which and why.
echo 'not a module' > "$prefix/drive_c/x/userdata.dll"
run show
check "show with a file that is no module: exit status $status" [ "$status" = 1 ]
check "show with a file that is no module: refusal told" has "$err" "tavlo: refused to load "
check "show with a file that is no module: which file" has "$err" "userdata.dll (for C:\\x\\userdata.dll): "
[ -n "$wine_run" ] || check "show with a file that is no module: why" has "$err" \
  ": neither an ELF shared object nor a PE file"
run show --json
check "show --json with a file that is no module: JSON its schema accepts" valid_json
rm -f "$prefix/drive_c/x/userdata.dll"

# The ways discovery ends that the prefix above doesn't give: an empty registry (no association,
# nothing registered), and a product hook beside the library, which the tool carries in itself
# (so a copy of the tool, beside the hook and the resource module): on the prefix's drive C: as
# an installed one is, and outside every drive (the prefix has no Z: drive), where Wine names the
# program by its Unix path.
empty="$work/empty-prefix" beside="$prefix/drive_c/tool" outside="$work/tool-outside"
mkdir -p "$empty" "$beside" "$outside"
printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n' \
  > "$empty/system.reg"
cp "$prefix/user.reg" "$empty/user.reg"
cp "$tool" "$(dirname "$tool")/tavlo9Res.dll" "$beside/"
cp "$hook" "$beside/userdata.dll"
cp "$tool" "$(dirname "$tool")/tavlo9Res.dll" "$outside/"
cp "$hook" "$outside/userdata.dll"
built_prefix=$prefix built_tool=$tool
# prefix | tool | exit status | source
while IFS='|' read -r prefix tool expected source; do
  eval "prefix=\"$prefix\" tool=\"$tool\""
  run show --json
  check "show --json ($source): exit status $status, expected $expected" [ "$status" = "$expected" ]
  check "show --json ($source): JSON its schema accepts" valid_json
  check "show --json ($source): found so" has "$out" "\"source\":\"$source\""
done <<'EOF'
$empty|$built_tool|1|none
$built_prefix|$beside/${built_tool##*/}|0|hook-library
$built_prefix|$outside/${built_tool##*/}|0|hook-library
EOF
prefix=$built_prefix tool=$built_tool

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
