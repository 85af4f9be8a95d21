#!/usr/bin/env bash
# Runs a command under a headless Wayland compositor of its own (weston's headless backend),
# with QT_QPA_PLATFORM=wayland. When the compositor does not start, says why (its log) and
# fails.
#
#   run_under_weston.sh COMMAND [ARGS...]
set -uo pipefail

runtime=$(mktemp -d /tmp/glim-wayland-XXXXXX)
chmod 700 "$runtime"
socket=glim-wayland-$$
log="$runtime/weston.log"
XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --socket="$socket" \
  --idle-time=0 >"$log" 2>&1 &
weston=$!
cleanup() {
  kill "$weston" 2>/dev/null
  wait "$weston" 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT

for _ in $(seq 100); do
  [ -S "$runtime/$socket" ] && break
  if ! kill -0 "$weston" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ ! -S "$runtime/$socket" ]; then
  echo "run_under_weston: the compositor did not start; its log:" >&2
  cat "$log" >&2
  exit 1
fi

# The headless compositor has no seat (no keyboard): Qt 6.4's Wayland text input then reads
# a missing input device as soon as a text field takes the focus, so the compose input
# method stands in for it here. A desktop compositor always has a seat.
XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland QT_IM_MODULE=compose \
  "$@"
