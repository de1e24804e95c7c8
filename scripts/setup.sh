#!/usr/bin/env bash
# Installs what Velmar needs on a Debian 12 machine (only what is missing, so a
# second run is quick), then configures and builds the development tree.
#
#   scripts/setup.sh            packages + build/dev
#   scripts/setup.sh --no-build packages only
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # build
  g++ cmake ninja-build pkg-config
  # an optional compiler cache for developers' rebuilds
  # (CMAKE_CXX_COMPILER_LAUNCHER=ccache); the test command does not use it
  ccache
  # the shell and the simulated frame
  qt6-base-dev libgl-dev
  # tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang lld libclang-rt-14-dev
  # private network namespace for everything that opens a socket
  iproute2 util-linux
  # the demo without a display, and its screenshot
  xvfb xauth x11-utils xdotool imagemagick
  # instruction counts for the benchmarks
  valgrind
  # the Debian package: dpkg-shlibdeps finds its dependencies; metainfo and policy checks
  dpkg-dev file appstream lintian
  # velmar-server's tests: a WebSocket client, HTTP requests, a self-signed
  # certificate, and promtool (from the prometheus package) to check /metrics
  qt6-websockets-dev curl openssl prometheus
  # the browser page's tests: headless Chromium, driven from node
  chromium
)
# node and npm may come from elsewhere (nodesource); Debian's only where none is.
if ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: installing packages needs root. Run:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    echo "or run this script as root: sudo $0" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # We want only promtool from prometheus. Its package enables and starts the
  # daemon where systemd runs (a container without systemd just refuses the
  # start); stop it again so no monitoring server stays on port 9090.
  if [[ " ${missing[*]} " == *" prometheus "* && -d /run/systemd/system ]]; then
    echo "setup: stopping and disabling the prometheus service (only promtool is needed)"
    systemctl disable --now prometheus.service || true
  fi
else
  echo "setup: all packages present"
fi

# The browser tests' driver, pinned by the lock file (it downloads no browser).
if [[ ! -d tests/web/node_modules || tests/web/package-lock.json -nt tests/web/node_modules ]]; then
  echo "setup: npm ci in tests/web"
  (cd tests/web && npm ci --no-audit --no-fund)
  touch tests/web/node_modules
fi

# The Ember+ tests' consumer, pinned by the lock file.
if [[ ! -d tests/ember/node_modules || tests/ember/package-lock.json -nt tests/ember/node_modules ]]; then
  echo "setup: npm ci in tests/ember"
  (cd tests/ember && npm ci --no-audit --no-fund)
  touch tests/ember/node_modules
fi

if [[ ${1:-} == --no-build ]]; then
  exit 0
fi

cmake --preset dev >/dev/null
cmake --build --preset dev
