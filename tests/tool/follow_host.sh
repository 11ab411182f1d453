#!/bin/sh
# follow_host.sh DEMO HOST              (Linux build: libtavlo9.so reads the prefix's files)
# follow_host.sh DEMO WINE-RUN HOST     (Windows build: tavlo9.dll inside a copy of the prefix)
# A host program keeps the library loaded and asks for RASTERTHRESHOLD every 50 ms while another
# process changes it: every change must reach the host's next answers, through the same export a
# plot driver calls, so that both builds are seen to follow the registry alike. Windows: "reg"
# changes the live registry. Linux: user.reg is replaced by rename, rewritten in place, and
# replaced again.
set -e
. "$(dirname "$0")/check.sh"
. "$(dirname "$0")/prefix_changes.sh"
in_a_copy follow-host "$@"
host="$program"

if [ -n "$wine_run" ]; then
  # Wine brings the copy of the prefix up to date before the host starts.
  timeout 120 "$wine_run" "$prefix" cmd /c exit 0 >/dev/null 2>&1
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
    wine "$host" 4 120 >"$out" 2>"$err" &
else
  WINEPREFIX="$prefix" "$host" 4 60 >"$out" 2>"$err" &
fi
follower=$!
trap 'kill -s KILL "$follower" 2>/dev/null || true' EXIT

check "the first answer" until_printed 40 20
wanted=40
for row in "77|replaced" "-|in-place" "40|replaced"; do
  value=${row%%|*} how=${row#*|}
  change "$value" "$how"
  wanted=$(printf '%s\n%s' "$wanted" "$value")
  if ! until_printed "$wanted" 10; then
    check "after setting RASTERTHRESHOLD to $value ($how), the answer $value" false
    break
  fi
done
status=0
wait "$follower" || status=$?
trap - EXIT
check "the host ended with 0 (it saw every answer), not $status" [ "$status" = 0 ]
check "nothing on stderr" [ ! -s "$err" ]

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
