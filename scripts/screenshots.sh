#!/usr/bin/env bash
# Regenerates the README's pictures (docs/images/*.png) from the demo: the
# simulated frames and the program under Xvfb in a private network namespace,
# the main window captured once connected to Studio A, and its settings
# dialog. Run it after a change to either, so the pictures stay true.
#
#   scripts/screenshots.sh      builds build/dev if needed, writes docs/images/
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELMAR_BUILD_DIR:-build/dev}
if [[ ! -x $build/app/velmar ]]; then
  cmake --preset dev >/dev/null
  cmake --build --preset dev --target velmar velmarctl velmar-framesim
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
VELMAR_BUILD_DIR=$build VELMAR_DEMO_HEADLESS=1 VELMAR_DEMO_CAPTURE=window \
  VELMAR_DEMO_SETTINGS_SHOT=$work/settings.png VELMAR_DEMO_GRID_SHOT=$work/grid.png \
  VELMAR_DEMO_WAIT=${VELMAR_DEMO_WAIT:-5} VELMAR_DEMO_SHOT=$work/shot.png \
  XDG_CONFIG_HOME_DEMO=$work/config scripts/in-netns.sh scripts/demo-inside.sh >/dev/null

# The demo captures the window before and after connecting; if the two are
# the same, the search or the connection did not finish in time, and the
# picture would show an empty window.
for f in shot.png shot-connected.png settings.png grid.png; do
  [[ -s $work/$f ]] || { echo "screenshots: the demo wrote no $f" >&2; exit 1; }
done
if [[ $(compare -metric AE "$work/shot.png" "$work/shot-connected.png" null: 2>&1) == 0 ]]; then
  echo "screenshots: the window did not change on connecting; try VELMAR_DEMO_WAIT=10" >&2
  exit 1
fi
mkdir -p docs/images
# Stripped of the time stamps ImageMagick writes, so an unchanged window gives
# an unchanged file.
convert "$work/shot-connected.png" -strip docs/images/main-window.png
convert "$work/settings.png" -strip docs/images/settings-dialog.png
convert "$work/grid.png" -strip docs/images/routing-grid.png
echo "screenshots: docs/images/main-window.png docs/images/settings-dialog.png" \
  "docs/images/routing-grid.png"
