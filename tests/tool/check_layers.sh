#!/bin/sh
# check_layers.sh SOURCE_DIR
# Every include of the library points down. The table names each folder of src/ and the
# folders its files may include besides their own; an include of any other folder of src/,
# up or across, fails, and so does a folder the table doesn't know.
set -e
cd "$1/src"
allowed='
platform            -
platform/win32      platform
platform/portable   platform
frame               platform tavlo
registry            frame platform tavlo
appkey              registry frame platform tavlo
values              appkey registry frame platform tavlo
identity            values appkey registry frame platform tavlo
settings            identity values appkey registry frame platform tavlo
help                settings identity values appkey registry frame platform tavlo
exports             help settings identity values appkey registry frame platform platform/win32 tavlo
'
failed=0 checked=0
for file in $(find . -name '*.cpp' -o -name '*.h' -o -name '*.inc' | sed 's|^\./||' | sort); do
  folder=${file%/*}
  row=$(printf '%s\n' "$allowed" | awk -v f="$folder" '$1 == f {$1 = ""; print}')
  if [ -z "$row" ]; then
    echo "$file: its folder has no row in the table of layers"
    failed=$((failed + 1))
    continue
  fi
  for target in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
    case $target in */*) ;; *) continue ;; esac
    to=${target%/*}
    checked=$((checked + 1))
    [ "$to" = "$folder" ] && continue
    ok=0
    for a in $row; do [ "$a" = "$to" ] && ok=1; done
    if [ $ok = 0 ]; then
      echo "$file includes $target: $folder may not include $to"
      failed=$((failed + 1))
    fi
  done
done
# The single way in to the Windows API: only the Windows backend includes its headers, the
# library's other layers and the tool go through the platform seam.
for file in $(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|winreg|shellapi|objbase)\.h>' \
                . ../tools 2>/dev/null | sed 's|^\./||' | sort); do
  case $file in platform/win32/*) continue ;; esac
  echo "$file includes a Windows header: only platform/win32 may"
  failed=$((failed + 1))
done
echo "$checked includes checked, $failed against the layers"
[ $failed = 0 ]
