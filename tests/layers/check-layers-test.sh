#!/usr/bin/env bash
# The layer check fails on a wrong include and names the file, the include and
# the rule; it passes a tree that keeps its layers. Each case builds a small
# tree: a rule file and one source file with one include.
set -uo pipefail
check=${1:-$(dirname "$0")/../../scripts/check-layers.sh}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

base='low:
mid: low
a: low mid
b: low mid
top: low mid a b'

# name | rules | file | its include line | exit status | text the output must hold
cases=(
  "downward|$base|top/T.cpp|#include \"a/A.h\"|0|keep their layers"
  "own folder|$base|a/A.cpp|#include \"a/A2.h\"|0|keep their layers"
  "upward|$base|low/L.cpp|#include \"mid/M.h\"|1|low/L.cpp:1: includes \"mid/M.h\", but low may include only: (nothing)"
  "sibling|$base|a/A.cpp|  #  include \"b/B.h\"|1|a/A.cpp:1: includes \"b/B.h\", but a may include only: low mid"
  "face to subsystem, header|$base|b/B.h|#include \"top/T.h\"|1|b/B.h:1: includes \"top/T.h\", but b may include only: low mid"
  "angle brackets are not checked|$base|low/L.cpp|#include <mid/M.h>|0|keep their layers"
  "no folder: generated header|$base|low/L.cpp|#include \"Version.h\"|0|keep their layers"
  "folder without a rule|$base|new/N.cpp|#include \"low/L.h\"|1|new/: no rule for this folder"
  "rule running upward|low: mid
mid:|mid/M.cpp|#include \"low/L.h\"|1|low may include mid, which is not a layer below it"
  "rule given twice|$base
a: low|a/A.cpp|#include \"low/L.h\"|1|a has a rule already"
)

failed=0
for c in "${cases[@]}"; do
  IFS='|' read -r -d '' name rules file include want text <<<"$c"
  text=${text%$'\n'}
  tree=$tmp/src
  rm -rf "$tree"
  mkdir -p "$tree"/{low,mid,a,b,top} "$tree/$(dirname "$file")"
  printf '%s\n' "$rules" >"$tree/layers.txt"
  printf '%s\n' "$include" >"$tree/$file"
  out=$(bash "$check" "$tree" 2>&1)
  got=$?
  if [[ $got != "$want" || $out != *"$text"* ]]; then
    echo "FAIL $name: exit $got (want $want), output:"
    echo "$out"
    failed=$((failed + 1))
  else
    echo "ok   $name"
  fi
done
# The real tree keeps its layers.
if ! out=$(bash "$check" 2>&1); then
  echo "FAIL the source tree:"
  echo "$out"
  failed=$((failed + 1))
fi
((failed == 0)) || { echo "$failed case(s) failed"; exit 1; }
echo "all ${#cases[@]} cases and the source tree pass"
