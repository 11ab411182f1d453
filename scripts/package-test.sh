#!/bin/sh
# Builds the packages from the native and windows builds (run scripts/test.sh or build both
# presets first), installs them as their users would and builds programs against them: C and
# C++ with find_package and C with pkg-config against the Debian packages, and C cross-built
# against the Windows zip and run under Wine. Every program runs on the bundled demo registry
# and must print what tests/consumers/expected-*.txt say. The Debian packages are checked first
# (lintian, contents: package-test-deb.sh), and the installed manual page and bash completion
# as the build's own are (tests/tool/docs.sh).
#
# TAVLO_NATIVE_BUILD and TAVLO_WINDOWS_BUILD name other build folders than the presets' own.
# In CI (CI set) the Debian packages are installed into the system with apt; elsewhere they are
# unpacked into a folder, so that running the tests changes nothing outside the tree.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
work=$root/build/package-test
rm -rf "$work"
mkdir -p "$work"

. tests/tool/check.sh # for matches_schema; check is this script's own, below
check() { # check EXPECTED COMMAND...: the command's output must be the expected text
  expected=$1
  shift
  # A Windows program writes its lines with CR LF. A library that can't find its message
  # module from where the package put it says so on stderr and goes on without its texts.
  if ! "$@" > "$work/raw.txt" 2> "$work/err.txt" || ! tr -d '\r' < "$work/raw.txt" > "$work/out.txt" ||
     ! diff -u "$expected" "$work/out.txt" || grep 'tavlo9Res.dll not found' "$work/err.txt"; then
    cat "$work/err.txt" >&2
    echo "package-test: $* did not print $expected" >&2
    exit 1
  fi
  echo "ok: $*"
}

# --- Linux: the Debian packages ------------------------------------------------------------
scripts/package-test-deb.sh "${TAVLO_NATIVE_BUILD:-build/native}" "$work"
debs=$(cat "$work/debs")
if [ -n "$CI" ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=; else sudo=sudo; fi
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $debs >/dev/null
  usr=/usr
else
  for deb in $debs; do dpkg-deb -x "$deb" "$work/root"; done
  usr=$work/root/usr
fi
libdir=$(dirname "$(find "$usr/lib" -name 'libtavlo9.so' | head -n 1)")
tool=$usr/bin/tavlo
"$tool" --version
"$tool" --prefix examples/demo show --json >"$work/show.json"
matches_schema "$usr/share/tavlo/show.schema.json" "$work/show.json"

page=$usr/share/man/man1/tavlo.1.gz
completion=$usr/share/bash-completion/completions/tavlo
sh tests/tool/docs.sh "$root" "$tool" "$page" "$completion"
# As a user meets them: "man tavlo" finds the page, and bash-completion loads the completion
# the first time tavlo is completed (from the unpacked tree: where MANPATH and XDG_DATA_DIRS say).
if [ -z "$CI" ]; then
  export MANPATH="$usr/share/man" XDG_DATA_DIRS="$usr/share"
fi
[ "$(man -w tavlo)" = "$page" ] || { echo "package-test: man finds no tavlo page" >&2; exit 1; }
# (_completion_loader returns 124 when it loaded one: "try again".)
bash -c '. /usr/share/bash-completion/bash_completion; _completion_loader tavlo;
         complete -p tavlo' | grep -q _tavlo ||
  { echo "package-test: bash-completion does not load the completion" >&2; exit 1; }
unset MANPATH XDG_DATA_DIRS
echo "ok: man tavlo, and bash-completion loads the completion"

export WINEPREFIX="$root/examples/demo"
cmake -S tests/consumers -B "$work/consumers" -DCMAKE_PREFIX_PATH="$usr" >/dev/null
cmake --build "$work/consumers" >/dev/null
check tests/consumers/expected-c.txt "$work/consumers/c_consumer"
check tests/consumers/expected-cpp.txt "$work/consumers/cpp_consumer"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2046
cc -o "$work/pc_consumer" tests/consumers/main.c \
  -std=c11 $(pkg-config --cflags --libs tavlo) -Wl,-rpath,"$(pkg-config --variable=libdir tavlo)"
check tests/consumers/expected-c.txt "$work/pc_consumer"
unset WINEPREFIX

# --- Windows: the zip, cross-built against and run under Wine --------------------------------
(cd "${TAVLO_WINDOWS_BUILD:-build/windows}" && cpack -G ZIP -B "$work/zip" >/dev/null)
mkdir -p "$work/win"
(cd "$work/win" && cmake -E tar xf "$work"/zip/*.zip)
package=$(ls -d "$work"/win/*/)
cmake -S tests/consumers -B "$work/consumers-win" --toolchain "$root/cmake/mingw-w64.cmake" \
  -DCMAKE_PREFIX_PATH="$package" -DTAVLO_CONSUMER_CXX=OFF >/dev/null
cmake --build "$work/consumers-win" >/dev/null
# As a Windows program is shipped: the DLLs beside the program; the demo is the Wine prefix.
cp "$package"/bin/*.dll "$work/consumers-win/"
cp -a examples/demo "$work/demo-prefix"
check tests/consumers/expected-c.txt cmake/wine-run.sh "$work/demo-prefix" \
  "$work/consumers-win/c_consumer.exe"
# The zip's binaries, unpacked on drive C: (the demo has no other), carry their version
# resources, and its tool's JSON is what its schema says.
cp -r "$package" "$work/demo-prefix/drive_c/tavlo"
TAVLO_VERSION_BINARIES='C:\tavlo\bin' cmake/wine-run.sh "$work/demo-prefix" \
  "${TAVLO_WINDOWS_BUILD:-build/windows}/bin/version_resource_tests.exe"
cmake/wine-run.sh "$work/demo-prefix" "$work/demo-prefix/drive_c/tavlo/bin/tavlo.exe" show --json \
  >"$work/show-win.json"
matches_schema "$package/share/tavlo/show.schema.json" "$work/show-win.json"
echo "ok: the zip's version resources and show --json"
echo "package-test: all consumers passed"
