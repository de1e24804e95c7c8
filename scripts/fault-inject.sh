#!/usr/bin/env bash
# Puts deliberate faults into a scratch copy of the tree, one at a time, and
# runs the unit tests against each: a fault the tests do not notice shows a
# place the tests do not look at.
#
#   scripts/fault-inject.sh                  every fault in scripts/faults.txt
#   scripts/fault-inject.sh -f FILE          another list
#   scripts/fault-inject.sh -n 'dispatch'    only faults whose line contains the text
#   scripts/fault-inject.sh --integration    the integration and simulated-frame tests too
#   scripts/fault-inject.sh --check          only check that each fault names one place
#   JOBS=2 scripts/fault-inject.sh           build jobs (default: nproc)
#
# The fault list's format is at the top of scripts/faults.txt. The scratch copy
# lives in build/fault-inject/ with its own build/dev inside, at the same place
# relative to the sources as the real one, so a compiler cache warm from
# build/dev serves the first build; later builds are incremental. Every test
# program runs inside a private network namespace.
#
# Prints one line per fault (caught, SURVIVED, or "no build" for a fault that
# does not compile), then the share caught. Exit status: 0 when every fault that
# builds is caught, 1 when one survived, 2 on a usage error or a fault whose
# text is not found exactly once, 3 when the tree without faults fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
shopt -u patsub_replacement 2>/dev/null || true # "&" in a replacement is literal

list=scripts/faults.txt
filter=
integration=0
check=0
while (($#)); do
  case $1 in
  -f) list=$2; shift 2 ;;
  -n) filter=$2; shift 2 ;;
  --integration) integration=1; shift ;;
  --check) check=1; shift ;;
  *) echo "usage: $0 [-f FAULTS] [-n TEXT] [--integration] [--check]" >&2; exit 2 ;;
  esac
done
[[ -f $list ]] || { echo "fault-inject: no fault list $list" >&2; exit 2; }
jobs=${JOBS:-$(nproc)}
scratch=$root/build/fault-inject
log=$scratch/log
mkdir -p "$log"

tests=(engine/velmar_engine_tests velmar_core_tests link/velmar_link_tests ctl/velmar_ctl_tests
  controls/velmar_controls_tests settings/velmar_settings_tests
  maintenance/velmar_maintenance_tests iprouting/velmar_iprouting_tests
  channels/velmar_channels_tests panel/velmar_panel_tests grid/velmar_grid_tests
  events/velmar_events_tests server/velmar_server_tests videohub/velmar_videohub_tests
  emberplus/velmar_emberplus_tests)
shell=OFF
if ((integration)); then
  tests+=(framesim/framesim_tests integration/velmar_integration_tests)
  shell=ON
fi
targets=()
for t in "${tests[@]}"; do targets+=("${t##*/}"); done

# Fields are separated by " @@ " (see faults.txt); spaces around each are dropped.
declare -a files finds replaces texts
trim() {
  local s=$1
  s=${s#"${s%%[![:space:]]*}"}
  printf '%s' "${s%"${s##*[![:space:]]}"}"
}
while IFS= read -r line || [[ -n $line ]]; do
  [[ -z ${line//[[:space:]]/} || $line == '#'* ]] && continue
  [[ -n $filter && $line != *"$filter"* ]] && continue
  rest=${line#*@@}
  if [[ $rest == "$line" || ${rest#*@@} == "$rest" ]]; then
    echo "fault-inject: not 'file @@ find @@ replace': $line" >&2
    exit 2
  fi
  files+=("$(trim "${line%%@@*}")")
  finds+=("$(trim "${rest%%@@*}")")
  replaces+=("$(trim "${rest#*@@}")")
  texts+=("$line")
done <"$list"
((${#files[@]})) || { echo "fault-inject: no faults selected" >&2; exit 2; }

# Every fault must name one place, checked against the real tree before anything runs.
occurrences() { # FILE TEXT -> how often TEXT occurs in FILE
  local content rest n=0
  content=$(cat "$1"; printf x)
  while [[ $content == *"$2"* ]]; do
    rest=${content#*"$2"}
    content=$rest
    n=$((n + 1))
  done
  echo "$n"
}
bad=0
for i in "${!files[@]}"; do
  if [[ ! -f ${files[$i]} ]]; then
    echo "fault-inject: no file ${files[$i]} (fault $((i + 1)))" >&2
    bad=1
    continue
  fi
  n=$(occurrences "${files[$i]}" "${finds[$i]}")
  if [[ $n -ne 1 ]]; then
    echo "fault-inject: '${finds[$i]}' occurs $n times in ${files[$i]}, not once (fault $((i + 1)))" >&2
    bad=1
  fi
done
((bad == 0)) || exit 2
if ((check)); then
  echo "fault-inject: ${#files[@]} faults, each found once"
  exit 0
fi

# The scratch copy: the working tree as it is, committed or not, without builds.
mkdir -p "$scratch/tree"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch/tree" -xf -
tree=$scratch/tree

configure() {
  (cd "$tree" && cmake --preset dev -DVELMAR_BUILD_SHELL=$shell -DVELMAR_BUILD_BENCH=OFF) >"$1" 2>&1
}
build() { # LOG TARGET...
  local out=$1
  shift
  (cd "$tree" && cmake --build --preset dev -j "$jobs" --target "$@") >>"$out" 2>&1
}
# Builds and runs the test programs one at a time and stops at the first that
# fails, so a fault caught early costs one link, not twelve.
# -> 0 all pass, 1 a test failed (its program is the log's last line), 2 no build.
build_and_test() { # BUILDLOG TESTLOG
  local t
  for t in "${tests[@]}"; do
    build "$1" "${t##*/}" || return 2
    if ! timeout 600 "$root/scripts/in-netns.sh" "$tree/build/dev/tests/$t" --gtest_brief=1 \
      >>"$2" 2>&1; then
      echo "failed in ${t##*/}" >>"$2"
      return 1
    fi
  done
  return 0
}

echo "== the tree without faults"
configure "$log/configure" || { echo "fault-inject: cmake failed (see $log/configure)" >&2; exit 3; }
: >"$log/baseline.build"
: >"$log/baseline.tests"
if ! build "$log/baseline.build" "${targets[@]}"; then
  echo "fault-inject: the tree does not build (see $log/baseline.build)" >&2
  exit 3
fi
if ! build_and_test "$log/baseline.build" "$log/baseline.tests"; then
  echo "fault-inject: the tests fail without faults (see $log/baseline.tests)" >&2
  exit 3
fi

caught=0
survived=0
nobuild=0
survivors=()
for i in "${!files[@]}"; do
  n=$((i + 1))
  file=$tree/${files[$i]}
  content=$(cat "$file"; printf x)
  content=${content%x}
  printf '%s' "${content/"${finds[$i]}"/"${replaces[$i]}"}" >"$file"
  : >"$log/fault-$n.build"
  : >"$log/fault-$n.tests"
  set +e
  build_and_test "$log/fault-$n.build" "$log/fault-$n.tests"
  rc=$?
  set -e
  if ((rc == 2)); then
    verdict="no build"
    nobuild=$((nobuild + 1))
  elif ((rc == 0)); then
    verdict=SURVIVED
    survived=$((survived + 1))
    survivors+=("$n: ${texts[$i]}")
  else
    verdict="caught ($(tail -1 "$log/fault-$n.tests" | sed 's/^failed in //'))"
    caught=$((caught + 1))
  fi
  # A fresh copy (a new modification time), so the next build recompiles it.
  cp "$root/${files[$i]}" "$file"
  printf '%3d  %-40s %s\n' "$n" "$verdict" "${files[$i]}: ${finds[$i]}"
done
build "$log/final.build" "${targets[@]}" || true

total=$((caught + survived))
echo "== $caught of $total faults caught ($((total ? 100 * caught / total : 0)) %); $nobuild did not build"
for s in "${survivors[@]}"; do echo "survived: $s"; done
echo "logs: $log"
((survived == 0))
