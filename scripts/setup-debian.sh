#!/bin/sh
# Installs the Debian packages the builds and tests need, and only those that are missing.
# Runs as root, or as a normal user through sudo.
set -e
packages="cmake make g++ googletest mingw-w64 wine wine64 clang libclang-rt-14-dev libbenchmark-dev valgrind findutils pkgconf dpkg-dev file locales clang-format lintian man-db bash-completion libcli11-dev nlohmann-json3-dev python3-jsonschema"
missing=
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then sudo=; else sudo=sudo; fi
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
