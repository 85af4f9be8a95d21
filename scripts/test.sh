#!/usr/bin/env bash
# Installs the dependencies, builds the test build (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test through ctest; builds the Debian package and checks it; then builds the
# fuzz targets with clang and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLIM_SANITIZE=ON >/dev/null
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

deb=$(scripts/package.sh)
scripts/check-package.sh "$deb"

if [ "${GLIM_SKIP_FUZZ:-0}" != 1 ]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGLIM_FUZZ=ON >/dev/null
  cmake --build build/fuzz -j"$jobs"
  ctest --test-dir build/fuzz --output-on-failure -j"$jobs"
fi
