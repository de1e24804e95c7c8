#!/usr/bin/env bash
# Checks that every folder of the source tree includes only the folders its
# line in the rule file allows (src/layers.txt), and that the rule file itself
# only lets a folder include folders named above it.
#
#   scripts/check-layers.sh [SRC_DIR]      default: src/ next to this script
#
# Prints one line per broken rule, naming the file, the line, the include and
# the rule, then exits 1; exits 0 when the tree keeps its layers and 2 when the
# rule file cannot be read.
set -uo pipefail
src=${1:-$(dirname "$0")/../src}
src=${src%/}
rules=$src/layers.txt
[[ -f $rules ]] || { echo "check-layers: no rule file $rules" >&2; exit 2; }

declare -A allowed=() # folder -> " a b c "
declare -a order=()
errors=0
n=0
while IFS= read -r line || [[ -n $line ]]; do
  n=$((n + 1))
  line=${line%%#*}
  [[ -z ${line//[[:space:]]/} ]] && continue
  if [[ ! $line =~ ^[[:space:]]*([A-Za-z0-9_]+):(.*)$ ]]; then
    echo "$rules:$n: not 'folder: folders it may include'"
    errors=$((errors + 1))
    continue
  fi
  folder=${BASH_REMATCH[1]}
  if [[ -n ${allowed[$folder]+x} ]]; then
    echo "$rules:$n: $folder has a rule already"
    errors=$((errors + 1))
    continue
  fi
  list=" "
  for dep in ${BASH_REMATCH[2]}; do
    # Only a folder named above may be included: the rules cannot run upward.
    if [[ -z ${allowed[$dep]+x} ]]; then
      echo "$rules:$n: $folder may include $dep, which is not a layer below it"
      errors=$((errors + 1))
    fi
    list+="$dep "
  done
  allowed[$folder]=$list
  order+=("$folder")
done <"$rules"

for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if [[ -z ${allowed[$folder]+x} ]]; then
    echo "$src/$folder/: no rule for this folder in $rules"
    errors=$((errors + 1))
  fi
done

# '#include "folder/File.h"' lines; includes without a folder (generated
# headers) and <...> includes are not the layers' business.
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  lineno=${rest%%:*}
  text=${rest#*:}
  [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([A-Za-z0-9_]+)/([^\"]*)\" ]] || continue
  target=${BASH_REMATCH[1]}
  rel=${file#"$src"/}
  folder=${rel%%/*}
  [[ $target == "$folder" || -z ${allowed[$folder]+x} ]] && continue
  # A folder that is no layer of this tree (a generated or outside path) is not checked.
  [[ -n ${allowed[$target]+x} || -d $src/$target ]] || continue
  if [[ ${allowed[$folder]} != *" $target "* ]]; then
    may=${allowed[$folder]# }
    may=${may% }
    echo "$file:$lineno: includes \"$target/${BASH_REMATCH[2]}\", but $folder may include only: ${may:-(nothing)} ($rules)"
    errors=$((errors + 1))
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src" | sort)

if ((errors)); then
  echo "check-layers: $errors broken rule(s)"
  exit 1
fi
echo "check-layers: ${#order[@]} folders keep their layers"
