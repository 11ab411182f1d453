#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs a Windows program of the build under Wine, in a prefix of the build's own so that no
# test reads or touches the user's Wine settings. The first call creates the prefix; every call
# makes sure a wineserver stays up for a minute after its last client, so that the processes of
# one test run start quickly and nothing is left behind after it.
#
# The program's output goes through files: Wine starts helper processes (the desktop, services)
# on demand that outlive the program, and a caller reading a pipe (ctest) would otherwise wait
# for them to exit.
set -e
# Wine takes only an absolute prefix; a relative one names the same folder from here.
mkdir -p "$1"
export WINEPREFIX="$(cd "$1" && pwd)"
shift
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
fi
wineserver -p60 >/dev/null 2>&1 </dev/null || true
out=$(mktemp) && err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
# Now and then Wine fails to start a process at all: it exits at once with an error status and
# without a word from either the loader or the program. Every program of the build prints
# something when it fails, so such a run is started again, at most twice, and said so on stderr.
attempt=1
while :; do
  rc=0
  wine "$@" >"$out" 2>"$err" || rc=$?
  if [ "$rc" = 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" = 3 ]; then
    break
  fi
  echo "wine-run.sh: $1 exited with status $rc and printed nothing (attempt $attempt); starting it again" >&2
  attempt=$((attempt + 1))
done
cat "$out"
cat "$err" >&2
if [ "$rc" != 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: $1 exited with status $rc and printed nothing" >&2
fi
exit $rc
