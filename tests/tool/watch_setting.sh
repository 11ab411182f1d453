#!/bin/sh
# watch_setting.sh DEMO TOOL            (Linux build: reads the prefix's files)
# watch_setting.sh DEMO WINE-RUN TOOL   (Windows build: runs inside a copy of the prefix)
# "tavlo get raster-threshold --watch --show-origin" runs in the background while another process
# changes the value: each new answer must be printed within a few seconds, and SIGINT (Ctrl+C)
# must end the watch with status 0. Windows: the value is changed through the registry with
# "reg add" and "reg delete" in the same prefix. Linux: user.reg is replaced as wineserver saves
# it (a new file renamed over the old one), which the Linux library follows. Linux also watches
# whether the plotters directory exists, and stops that watch with SIGTERM.
set -e
. "$(dirname "$0")/check.sh"
. "$(dirname "$0")/prefix_changes.sh"
in_a_copy watch-setting "$@"
tool="$program"
from="    from: $general\\RASTERTHRESHOLD"
missing="    from: default 20, since $general\\RASTERTHRESHOLD is missing"

start_watch() { # start_watch SETTING
  : >"$out"
  if [ -n "$wine_run" ]; then
    # Straight to wine, not through wine-run.sh, which hands the output over only at the end.
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
      wine "$tool" get "$1" --watch --show-origin --interval 100 >"$out" 2>"$err" &
  else
    "$tool" --prefix "$prefix" get "$1" --watch --show-origin --interval 100 \
      >"$out" 2>"$err" &
  fi
  watcher=$!
}
watcher=""
# A check that fails on the way leaves no watch behind.
trap '[ -z "$watcher" ] || kill -s KILL "$watcher" 2>/dev/null || true' EXIT

# stop SIGNAL: sets stopped to the watch's exit status after SIGNAL, or to "hung" when it
# outlives 10 seconds. (Not in a subshell, which could not wait for the watch.)
stop() {
  kill -s "$1" "$watcher" 2>/dev/null || true
  tries=100
  while kill -0 "$watcher" 2>/dev/null && [ "$tries" -gt 0 ]; do
    sleep 0.1
    tries=$((tries - 1))
  done
  if kill -0 "$watcher" 2>/dev/null; then
    kill -s KILL "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    stopped=hung
  else
    stopped=0
    wait "$watcher" || stopped=$?
  fi
  watcher=""
}

if [ -n "$wine_run" ]; then
  # Wine brings the copy of the prefix up to date before the watch starts.
  timeout 120 "$wine_run" "$prefix" cmd /c exit 0 >/dev/null 2>&1
fi
start_watch raster-threshold
check "the first answer" until_printed "$(printf '40\n%s' "$from")" 20
# Each change must be seen, the deletion as the default the value then falls back on.
wanted="$(printed)"
for row in "77|$from" "-|$missing" "40|$from"; do
  value=${row%%|*} origin=${row#*|}
  change "$value"
  shown=$([ "$value" = - ] && echo 20 || echo "$value")
  wanted=$(printf '%s\n%s\n%s' "$wanted" "$shown" "$origin")
  if ! until_printed "$wanted" 10; then
    check "after setting RASTERTHRESHOLD to $value, the answer $shown" false
    break
  fi
done
check "nothing on stderr" [ ! -s "$err" ]
stop INT
check "stopped by SIGINT with exit status $stopped, expected 0" [ "$stopped" = 0 ]

if [ -z "$wine_run" ]; then
  plotters='users/demo/AppData/Roaming/Veltrane/Corvida 1/R1/enu/Plotters'
  answer=$(printf '%s\n    from: %s\\PrinterConfigDir\n    on this machine: %s' \
    "C:\\$(echo "$plotters" | tr / '\\')" "$general" "$prefix/dosdevices/c:/$plotters")
  start_watch plotters-directory
  check "plotters: the first answer" until_printed "$answer (exists)" 20
  mv "$prefix/drive_c/$plotters" "$prefix/drive_c/$plotters.away"
  check "plotters: seen missing" until_printed "$(printf '%s\n%s' "$answer (exists)" \
    "$answer (missing)")" 10
  stop TERM
  check "stopped by SIGTERM with exit status $stopped, expected 0" [ "$stopped" = 0 ]
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
