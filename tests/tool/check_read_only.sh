#!/bin/sh
# check_read_only.sh SOURCE_DIR CXX [DLL]
# The library can't change the registry. No source of the core reaches, through any chain of
# includes, the side of the in-memory registry that builds it (its header, its storage, the
# writer a loader stores values through, and the file loader's); and the DLL names no
# registry, shell or profile function that writes, neither in its import table nor as a string
# it could look up at run time.
set -e
src="$1" cxx="$2" dll="$3" failed=0
deps=$(cd "$src" && "$cxx" -std=c++20 -Isrc -Iinclude -MM src/frame/*.cpp src/registry/*.cpp src/values/*.cpp \
       src/appkey/*.cpp src/settings/*.cpp src/identity/*.cpp src/help/*.cpp)
reached=$(printf '%s\n' "$deps" | awk '/^[^ ].*:/ {object = $1} {for (i = 1; i <= NF; ++i)
            if ($i ~ /platform\/portable\/(memory_registry|key_storage|line_source|reg_file)\.h$/) print object, $i}')
if [ -n "$reached" ]; then
  echo "The core reaches the registry's building side:"
  echo "$reached"
  failed=1
fi
if [ -n "$dll" ]; then
  writes='^(Reg(Set|Create|Delete|Save|Restore|Replace|Load|UnLoad|Copy|Flush|Rename)|SH(Set|Delete|Copy|RegSet|RegDelete|RegCreate|RegWrite)|Write(Private)?Profile|(Nt|Zw)(SetValue|CreateKey|DeleteKey|DeleteValue))'
  imports=$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/The Import Tables/,/The Export Tables/p')
  found=$( (printf '%s\n' "$imports" | awk '{print $NF}'; strings -a "$dll") | grep -E "$writes" | sort -u)
  if ! printf '%s\n' "$imports" | grep -q 'DLL Name'; then
    echo "No import table read from $dll"
    failed=1
  elif [ -n "$found" ]; then
    echo "$dll can write to the registry:"
    echo "$found"
    failed=1
  fi
fi
[ $failed = 0 ] && echo "1 passed, 0 failed"
exit $failed
