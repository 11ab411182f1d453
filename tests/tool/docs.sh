#!/bin/sh
# docs.sh SOURCE_DIR TOOL MAN_PAGE COMPLETION
# The manual page and the bash completion, as built or as installed by the packages. The page
# must render without a warning and name everything the tool's own help names (every command
# and option, every example) and every environment variable the library's code reads, found in
# the sources rather than in the table the page is made from. The completion, sourced in bash,
# must complete what a user types (its function called as bash calls it).
set -u
src="$1" tool="$2" page="$3" completion="$4"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/out" err="$work/err"
: >"$out"
: >"$err"
. "$src/tests/tool/check.sh"

# --- the manual page -------------------------------------------------------------------------
LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" >/dev/null 2>"$err"
check "the page renders without warnings" test ! -s "$err"
LC_ALL=C.UTF-8 MANWIDTH=100 man -E UTF-8 -l "$page" 2>/dev/null | col -bx >"$work/page"
cp "$work/page" "$out"
mentions() { grep -qF -- "$1" "$work/page"; }

commands=$("$tool" help | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\).*/\1/p')
check "the overview lists commands" test -n "$commands"
for command in $commands; do
  check "the page has a section for $command" grep -qE "^ +tavlo $command( |\$)" "$work/page"
  "$tool" help "$command" >"$work/help"
  # Options: the first word of each row of the Options block, and --help of every command.
  for option in $(sed -n '/^Options:/,/^$/s/^  \([-/][^ ]*\).*/\1/p' "$work/help"); do
    check "the page names $command's option $option" mentions "$option"
  done
  sed -n '/^Examples*:/,$s/^  //p' "$work/help" >"$work/examples"
  while IFS= read -r example; do
    check "the page shows the example $example" mentions "$example"
  done <"$work/examples"
done
for option in $("$tool" --help | sed -n '/^Options/,/^$/s/^  \([^ ]*\).*/\1/p' | tr -d ,); do
  check "the page names the tool's option $option" mentions "$option"
done
sed -n '/^ENVIRONMENT/,/^[A-Z]/p' "$work/page" >"$work/environment"
for file in $(grep -rl getenv "$src/src" "$src/tools" | grep -v win32); do
  for variable in $(grep -ohE '"[A-Z][A-Z0-9_]{2,}"' "$file" | tr -d '"' | sort -u); do
    check "the page's ENVIRONMENT tells of $variable, which $(basename "$file") reads" \
      grep -qE "^ +$variable( |\$)" "$work/environment"
  done
done
sed -n '/^EXIT STATUS/,/^[A-Z]/p' "$work/page" >"$work/status"
for status in "0 found" "1 not found" "2 usage error" "3 the library failed"; do
  check "the page's EXIT STATUS tells of $status" grep -qF "$status" "$work/status"
done

# --- the bash completion ---------------------------------------------------------------------
# Each row: the words typed, the last one being completed, '|' and the completions expected.
# Paths are relative to the source tree.
cd "$src"
while IFS='|' read -r words expected; do
  [ -z "$words" ] && continue
  actual=$(TAVLO="$tool" WORDS="$words" bash -c '
    . "$1"
    read -r -a typed <<<"$WORDS"
    COMP_WORDS=("$TAVLO" "${typed[@]}")
    case $WORDS in "" | *" ") COMP_WORDS+=("") ;; esac
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _tavlo
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' sh "$completion")
  printf '%s\n' "$actual" >"$out"
  check "tavlo $words<TAB> completes to $expected" test "$actual" = "$(printf '%s\n' $expected | sort | tr '\n' ' ')"
done <<'ROWS'
g|get
|get help help-file notice reg show
h|help help-file
-|--help --prefix --registry --version -h
--reg|--registry
--registry examples/demo/sys|examples/demo/system.reg
--prefix examples/dem|examples/demo examples/demo-src
--prefix examples/demo g|get
--registry a.reg --registry b.reg sh|show
get raster-|raster-percent raster-threshold
get plotters-d|plotters-directory
get --list |
get plotters-directory --w|--watch
get --watch --interval |
show --|--help --json --show-origin
help he|help help-file
help show |
notice --|--help
reg |query
reg query HK|HKCR HKCU HKEY_CLASSES_ROOT HKEY_CURRENT_USER HKEY_LOCAL_MACHINE HKLM
reg query HKEY_C|HKEY_CLASSES_ROOT HKEY_CURRENT_USER
reg query HKLM\Software /|/s /v /ve
reg query HKLM /v |
ROWS
echo "docs: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
