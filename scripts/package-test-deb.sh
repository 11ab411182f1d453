#!/bin/sh
# package-test-deb.sh BUILD WORK: the Debian packages of the native build BUILD, made in WORK/deb
# and checked before anything is built against them: lintian must find no error and no warning
# that packaging/debian/*.lintian-overrides doesn't justify, each changelog must name its
# package's version, and each package must hold its part and only that (lib: the library and
# its message module; dev: what building needs; tool: the command, its page and completion).
# Leaves the packages' paths in WORK/debs.
set -e
build=$1 work=$2
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
ls "$work"/deb/*.deb >"$work/debs"
# shellcheck disable=SC2046
set -- $(cat "$work/debs")
[ $# -eq 3 ] || { echo "package-test: expected 3 packages, CPack made $#" >&2; exit 1; }
for deb; do
  dpkg-deb --field "$deb" Package Version Depends
done

# Overridden tags don't count; lintian shows them only when asked (--show-overrides).
if ! lintian --fail-on error,warning "$@" >"$work/lintian.txt" 2>&1; then
  grep -v 'running with root privileges' "$work/lintian.txt" >&2
  echo "package-test: lintian finds errors or warnings (above)" >&2
  exit 1
fi
echo "ok: lintian"

# Each row: the package, a file it must hold and a pattern of files it must not.
while IFS='|' read -r package holds never; do
  deb=$(grep "/${package}_" "$work/debs")
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
  if ! grep -qE "$holds" "$work/contents" || grep -E "$never" "$work/contents"; then
    echo "package-test: $package does not hold $holds or holds the above" >&2
    exit 1
  fi
  version=$(dpkg-deb --field "$deb" Version)
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/doc/$package/changelog.Debian.gz" |
    gzip -dc | head -n 1 | grep -qF "($version)" || {
    echo "package-test: the changelog of $package does not begin with its version $version" >&2
    exit 1
  }
done <<'ROWS'
libtavlo9-0|/libtavlo9\.so\.0$|/bin/|/include/|\.so$|/pkgconfig/|/cmake/|/man/
libtavlo9-0|/share/tavlo/tavlo9Res\.dll$|/bin/
libtavlo-dev|/libtavlo9\.so$|\.so\.|/bin/|tavlo9Res|/man/
libtavlo-dev|/include/tavlo/tavlo\.hpp$|/bin/
libtavlo-dev|/pkgconfig/tavlo\.pc$|/bin/
libtavlo-dev|/cmake/tavlo/tavloConfig\.cmake$|/bin/
tavlo|/usr/bin/tavlo$|\.so|/include/|tavlo9Res
tavlo|/man1/tavlo\.1\.gz$|/include/
tavlo|/bash-completion/completions/tavlo$|/include/
ROWS
echo "ok: the packages' contents and changelogs"
