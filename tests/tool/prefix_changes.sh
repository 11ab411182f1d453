# Sourced by the tests in which another process changes RASTERTHRESHOLD while a program watches
# it, in a copy of the demo prefix.

# in_a_copy NAME DEMO [WINE-RUN] PROGRAM: sets demo, wine_run (empty for the Linux build) and
# program, and makes a fresh copy of the demo, prefix, in the folder NAME beside the program's
# folder, where the program's output goes to out and err.
in_a_copy() {
  demo="$2"
  if [ $# -eq 4 ]; then
    wine_run="$3" program="$4"
  else
    wine_run="" program="$3"
  fi
  work="$(cd "$(dirname "$program")/.." && pwd)/$1"
  prefix="$work/prefix" out="$work/out" err="$work/err"
  rm -rf "$work"
  mkdir -p "$work"
  cp -a "$demo" "$prefix"
}

# The key of the demo's current profile that holds the value.
general='HKEY_CURRENT_USER\SOFTWARE\Veltrane\Corvida\R1\KORA-7:1\Profiles\<<Unnamed Profile>>\General'

# change VALUE [in-place]: sets RASTERTHRESHOLD (a number), or removes it ("-"). Windows: with
# "reg" in the prefix. Linux: user.reg is replaced as wineserver saves it (a new file renamed over
# the old one) or, given in-place, rewritten where it is.
change() {
  if [ -n "$wine_run" ]; then
    if [ "$1" = - ]; then
      timeout 60 "$wine_run" "$prefix" reg delete "$general" /v RASTERTHRESHOLD /f >/dev/null 2>&1
    else
      timeout 60 "$wine_run" "$prefix" reg add "$general" /v RASTERTHRESHOLD /t REG_DWORD \
        /d "$1" /f >/dev/null 2>&1
    fi
  else
    if [ "$1" = - ]; then
      sed '/^"RASTERTHRESHOLD"=/d' "$prefix/user.reg" >"$prefix/user.reg.new"
    else
      # From the demo's own file, which holds the value: a deletion before may have removed it.
      sed "s/^\"RASTERTHRESHOLD\"=.*/\"RASTERTHRESHOLD\"=dword:$(printf %08x "$1")/" \
        "$demo/user.reg" >"$prefix/user.reg.new"
    fi
    if [ "$2" = in-place ]; then
      cat "$prefix/user.reg.new" >"$prefix/user.reg"
      rm "$prefix/user.reg.new"
    else
      mv "$prefix/user.reg.new" "$prefix/user.reg"
    fi
  fi
}

printed() { tr -d '\r' <"$out"; }

# until_printed TEXT SECONDS: whether the watch printed TEXT (whole, from its start) in time.
until_printed() {
  tries=$(($2 * 10))
  while [ "$tries" -gt 0 ]; do
    [ "$(printed)" = "$1" ] && return 0
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

