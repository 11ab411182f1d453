#!/bin/sh
# make_link_trees.sh ROOT RUNNER...
# Makes below ROOT (emptied first) the linked trees of the file search tests, for a build whose
# test programs can't make a Unix link themselves: Wine lists and follows links, but makes none.
# RUNNER runs the hostile tests, which print the trees, one "link-tree ENTRY" line per entry:
# "t/a/" a folder, "t/a/f" an empty file, "t/a/l>target" a link, '@' in a target standing for ROOT.
set -e
root="$1"
shift
rm -rf "$root"
mkdir -p "$root"
TAVLO_PRINT_LINK_TREES=1 "$@" --gtest_filter=LinkTreesPlan.Printed >"$root.out"
tr -d '\r' <"$root.out" | sed -n 's/^link-tree //p' >"$root.plan"
rm -f "$root.out"
[ -s "$root.plan" ] || { echo "no trees printed"; exit 1; }
# Every entry is below its tree's folder, so each has a '/' in it.
while IFS= read -r entry; do
  path=${entry%%>*}
  [ -d "$root/${path%/*}" ] || mkdir -p "$root/${path%/*}"
  case "$entry" in
    *'>'*)
      target=${entry#*>}
      case "$target" in *@*) target="${target%%@*}$root${target#*@}" ;; esac
      ln -s "$target" "$root/$path" ;;
    */) ;; # made above
    *) : >"$root/$entry" ;;
  esac
done <"$root.plan"
echo "made $(wc -l <"$root.plan") entries below $root"
