#!/usr/bin/env bash
# Runs a command inside a private network namespace with only loopback up.
# The program's search broadcasts on every adapter; here that reaches the
# simulated frames on 127.0.0.x and nothing else.
set -euo pipefail
if [[ $# -eq 0 ]]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi
exec unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "$@"
