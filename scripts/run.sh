#!/usr/bin/env bash
# Installs the dependencies, builds the application (Release) and starts it. Without a display
# it builds a small demo album with the command-line builder instead and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIM_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found, so the window cannot open (run this under a desktop session or xvfb-run)."
  echo "Building a demo album with the command-line builder instead:"
  exec build/release/cli/glimmervellium-create --demo "${GLIM_DEMO_DIR:-build/demo}"
fi
exec build/release/app/glimmervellium "$@"
