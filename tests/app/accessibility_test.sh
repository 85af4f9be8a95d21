#!/usr/bin/env bash
# Starts the program under Xvfb with a session bus of its own, on an album of large pictures,
# and reads its accessible tree through the accessibility bus (tests/app/accessibility_tree.py),
# also while the album is being made.
#
#   accessibility_test.sh PROGRAM
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/accessibility_tree.py" --album "$work" || exit 1
export here program work
timeout 140 dbus-run-session -- bash -c '
  # A process group of its own: xvfb-run leaves Xvfb and the program running when it alone is
  # ended, so the whole group is ended.
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 setsid xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$program" "$work/album.lmf" >"${TMPDIR:-/tmp}/glim-accessibility-$$.log" 2>&1 &
  window=$!
  /usr/bin/python3 "$here/accessibility_tree.py" glimmervellium "$work"
  status=$?
  kill -TERM -- "-$window" 2>/dev/null
  wait "$window" 2>/dev/null
  if [ "$status" -ne 0 ]; then cat "${TMPDIR:-/tmp}/glim-accessibility-$$.log" >&2; fi
  rm -f "${TMPDIR:-/tmp}/glim-accessibility-$$.log"
  exit "$status"
'
