#!/usr/bin/env bash
# The demo: sets up and builds like the test command, then starts three
# simulated frames (a 460, a 461 and a 460 in recovery mode) and the program
# together in a private network namespace, so the search finds them and
# nothing leaves the machine.
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) the window opens there; close
# it to end the demo. Without one it runs under Xvfb, writes a screenshot and
# prints its path:
#   scripts/demo.sh                      window on your desktop
#   VELMAR_DEMO_HEADLESS=1 scripts/demo.sh   screenshot only
#   VELMAR_DEMO_SHOT=/tmp/x.png             where the screenshot goes
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec scripts/in-netns.sh scripts/demo-inside.sh
