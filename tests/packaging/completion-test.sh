#!/usr/bin/env bash
# velmarctl's bash completion offers the right words at each place on the line.
#   completion-test.sh path/to/completion/velmarctl
set -uo pipefail
source "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch show.xpt other.XPT notes.txt studio.cfg frame.flash labels.csv
mkdir presets

failures=0
# expect "WORDS OF THE LINE" "EXPECTED REPLIES (sorted)"; the last word is the
# one being completed.
expect() {
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velmarctl
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
  if [[ $got != "$2" ]]; then
    echo "FAIL: '$1' completed to '$got', expected '$2'"
    failures=$((failures + 1))
  fi
}

expect "velmarctl " "cards dante discover dump flash flash-join flow flows gains health inputs labels levels ppm route routes send set-id set-ip settings status unroute uptime watch xpt"
expect "velmarctl rou" "route routes"
expect "velmarctl --json st" "status"
expect "velmarctl --t" "--telnet --timeout --type"
expect "velmarctl --timeout " ""          # a number follows, no word fits
expect "velmarctl --timeout 100 x" "xpt"  # the value is not taken for a command
expect "velmarctl --type " "450 460 461 465 GRID QB16 RB16"
expect "velmarctl xpt " "load save"
expect "velmarctl --json xpt s" "save"
expect "velmarctl xpt load 127.0.0.2 " "other.XPT presets show.xpt"
expect "velmarctl settings " "apply save show"
expect "velmarctl flow " "create delete"
expect "velmarctl flow delete 127.0.0.2 " "rx tx"
expect "velmarctl dante r" "route routes"
expect "velmarctl ppm " "assign create remove"
expect "velmarctl settings apply 127.0.0.2 " "presets studio.cfg"
expect "velmarctl settings show 127.0.0.2 " ""
expect "velmarctl status 127.0.0.2 " ""   # nothing more to say
expect "velmarctl route 127.0.0.2 5 " ""
expect "velmarctl cards 127.0.0.2 --make " "brix x"
expect "velmarctl --make x c" "cards"   # the make is not taken for a command
expect "velmarctl cards 127.0.0.2 --m" "--make --mini"
expect "velmarctl dump 127.0.0.2 " "notes.txt presets"
expect "velmarctl set-ip --serial " ""    # the frame's serial number follows
expect "velmarctl set-ip --serial SN1 --d" "--dante --dhcp --dry-run"
expect "velmarctl flash 127.0.0.2 " "frame.flash presets"
expect "velmarctl flash 127.0.0.2 frame.flash " "frame.flash presets"
expect "velmarctl flash-join --type 460 --release 2.1 " "presets"
expect "velmarctl flash-join --type 460 presets " "frame.flash presets"
expect "velmarctl --re" "--release --restart"
expect "velmarctl inputs 127.0.0.2 --wa" "--wait --watch"
expect "velmarctl labels " "export get import set"
expect "velmarctl labels import 127.0.0.2 " "labels.csv presets"
expect "velmarctl labels set 127.0.0.2 5 --input " ""   # free text follows
expect "velmarctl --sk" "--skip-invalid"
expect "velmarctl watch 127.0.0.2 --log " "presets"
expect "velmarctl --log presets h" "health"  # the folder is not taken for a command
expect "velmarctl health --a" "--all"

if ((failures)); then
  exit 1
fi
echo "completion: all cases passed"
