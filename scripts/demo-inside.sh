#!/usr/bin/env bash
# The demo's inside half; runs in the network namespace (see demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELMAR_BUILD_DIR:-build/dev}
pids=()
# Last started first: the program ends before its display does.
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT

# Studio A starts with a few routes: AES 1-4 to card 1, card 2 to MADI 1-2, IP 1-2 to AES 15-16.
# Once connected to, it runs the "show" scenario (PSU 2, sync, FAN 1, input 1
# change every few seconds), so the event log has something to show.
"$build/framesim/velmar-framesim" --preset 460 --address 127.0.0.2 --set "name='Studio A'" \
  --scenario show --set scenario-tick-ms=1000 --set scenario-repeat=1 \
  --set cross.1=513 --set cross.2=514 --set cross.3=515 --set cross.4=516 \
  --set cross.593=65 --set cross.594=66 --set cross.527=913 --set cross.528=914 &
pids+=($!)
"$build/framesim/velmar-framesim" --preset 461 --address 127.0.0.3 --set "name='Studio B'" --set id=2 &
pids+=($!)
"$build/framesim/velmar-framesim" --preset recovery --address 127.0.0.4 --set "name='Spare'" --set id=3 &
pids+=($!)
sleep 0.5 # let the frames bind before the program's first search

# velmar-server keeps the three frames connected and serves them on loopback
# (no tokens, so loopback only): the browser page, the HTTP API, the event
# stream and /metrics; Studio A to Videohub panels on 9990, and every frame to
# Ember+ control systems on 9000. Its event log goes to a folder of the demo's own.
server_port=${VELMAR_DEMO_SERVER_PORT:-8470}
"$build/app/velmar-server" --frame "127.0.0.2=studio-a videohub-port=9990" \
  --frame 127.0.0.3=studio-b --frame 127.0.0.4=spare --listen "127.0.0.1:$server_port" \
  --ember-port 9000 --state-directory "$(mktemp -d)" &
pids+=($!)
echo "velmar-server: http://127.0.0.1:$server_port/ (API under /api/v1, metrics at /metrics)"
echo "velmar-server: Videohub for studio-a on 127.0.0.1:9990, Ember+ on 127.0.0.1:9000"

# A profile of the demo's own, so the demo never touches your saved addresses.
export XDG_CONFIG_HOME=${XDG_CONFIG_HOME_DEMO:-$(mktemp -d)}
# And an event log of its own.
export XDG_DATA_HOME=${XDG_DATA_HOME_DEMO:-$(mktemp -d)}

if [[ -z ${VELMAR_DEMO_HEADLESS:-} && ( -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ) ]]; then
  "$build/app/velmar"
  exit 0
fi

shot=${VELMAR_DEMO_SHOT:-$PWD/build/demo-screenshot.png}
Xvfb :57 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:57
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$build/app/velmar" &
pids+=($!)
# The search, the replies and the saved entries take about a second; more on a
# busy machine (VELMAR_DEMO_WAIT, seconds).
wait_s=${VELMAR_DEMO_WAIT:-3}
sleep "$wait_s"
window=
if command -v xdotool >/dev/null; then
  window=$(xdotool search --onlyvisible --name Velmar | head -n 1)
fi
# The whole screen, or with VELMAR_DEMO_CAPTURE=window only the main window.
capture() {
  if [[ ${VELMAR_DEMO_CAPTURE:-} == window && -n $window ]]; then
    import -window "$window" "$1"
  else
    import -window root "$1"
  fi
}
capture "$shot"
echo "demo screenshot: $shot"

# Connect to the 460 the way an operator does with the keyboard: focus the
# list, type the start of the address, press Enter.
shot2=${shot%.png}-connected.png
if [[ -n $window ]]; then
  xdotool mousemove --window "$window" 60 90 click 1
  xdotool type --delay 20 "127.0.0.2"
  xdotool key Return
  sleep "$wait_s"
  capture "$shot2"
  echo "demo screenshot, connected: $shot2"
  # Studio A's scenario has run a few steps: the event log panel and the alarm.
  sleep "${VELMAR_DEMO_EVENTS_WAIT:-7}"
  shot3=${shot%.png}-events.png
  capture "$shot3"
  echo "demo screenshot, event log and alarm: $shot3"
  # The settings dialog on its Dante page (Alt+S, then Ctrl+Tab page by page).
  if [[ -n ${VELMAR_DEMO_SETTINGS_SHOT:-} ]]; then
    xdotool key alt+s
    sleep 1
    dialog=$(xdotool search --onlyvisible --name "Device settings" | head -n 1)
    if [[ -n $dialog ]]; then
      for _ in $(seq 7); do xdotool key ctrl+Tab; done
      sleep 0.5
      import -window "$dialog" "$VELMAR_DEMO_SETTINGS_SHOT"
      echo "demo screenshot, settings: $VELMAR_DEMO_SETTINGS_SHOT"
      xdotool key Escape
    fi
  fi
  # The routing grid (Alt+G) in a larger window, the pointer on a routed cell.
  if [[ -n ${VELMAR_DEMO_GRID_SHOT:-} ]]; then
    sleep 0.5
    xdotool windowsize "$window" 1270 790
    sleep 0.5
    xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
    xdotool key --window "$window" alt+g
    sleep 1
    # "Show routed only" (Alt+O), two steps of zoom, the pointer on AES 15 <- IP 01.
    # (A mnemonic clicks its box after a short animation: wait for it.)
    xdotool key --window "$window" alt+o
    sleep 0.5
    xdotool key --window "$window" ctrl+plus ctrl+plus
    sleep 0.5
    xdotool mousemove --window "$window" ${VELMAR_DEMO_GRID_POINTER:-909 208}
    sleep 0.5
    import -window "$window" "$VELMAR_DEMO_GRID_SHOT"
    echo "demo screenshot, grid: $VELMAR_DEMO_GRID_SHOT"
    # Everything at once (Ctrl+0 fits all lines), for a look at the whole frame.
    if [[ -n ${VELMAR_DEMO_GRID_ALL_SHOT:-} ]]; then
      xdotool key --window "$window" alt+o
      sleep 0.5
      xdotool key --window "$window" ctrl+0
      sleep 0.5
      import -window "$window" "$VELMAR_DEMO_GRID_ALL_SHOT"
    fi
  fi
fi

# The same frames through velmar-server: a route by HTTP, confirmed by the frame.
if command -v curl >/dev/null; then
  echo "curl -X PUT .../api/v1/frames/studio-a/routes/10 -d '{\"input\": 20}':"
  curl -s -X PUT -d '{"input": 20}' "http://127.0.0.1:$server_port/api/v1/frames/studio-a/routes/10" || true
  echo
fi

# A Videohub panel's route (ports count from 0: output 12 from input 22),
# acknowledged once well formed; the frame's confirmation follows.
if exec 3<>/dev/tcp/127.0.0.1/9990; then
  printf 'VIDEO OUTPUT ROUTING:\n11 21\n\n' >&3
  if timeout 5 grep -q -m1 -x ACK <&3; then
    echo "Videohub: output 12 <- input 22 acknowledged"
  else
    echo "Videohub: no acknowledgement"
  fi
  exec 3>&-
fi
# An Ember+ control system's route: output 13 from input 23 through the
# matrix of frame 1 (Studio A), answered with the frame's tally.
if [[ -d tests/ember/node_modules/node-emberplus ]]; then
  node tests/ember/route.mjs 127.0.0.1:9000 1 13 23 || true
fi
sleep 0.5 # the confirmations reach the window and the page
if [[ -n ${window:-} ]]; then
  shot4=${shot%.png}-routed.png
  capture "$shot4"
  echo "demo screenshot, routes from HTTP, Videohub and Ember+: $shot4"
fi

# The same frames from the command line: what velmarctl sees of Studio A.
echo "velmarctl routes 127.0.0.2:"
"$build/app/velmarctl" routes 127.0.0.2 || true
echo "velmarctl health --all:"
"$build/app/velmarctl" health --all || true

# The browser page of the same server, Studio A's grid, as headless Chromium draws it.
if command -v chromium >/dev/null && [[ -d tests/web/node_modules/playwright-core ]]; then
  web_shot=${shot%.png}-web.png
  node tests/web/shot.mjs "http://127.0.0.1:$server_port/#/frame/studio-a" "$web_shot" || true
  echo "demo screenshot, the page in a browser: $web_shot"
fi
