#!/usr/bin/env bash
# Builds the application (Release, with Debian's hardening flags) and makes its Debian package
# with CPack. The package goes to the folder given (default: build/); its path is the only
# thing printed on standard output, the build's own output goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
out=$(realpath -m "${1:-build}")
build=build/package

# The flags a Debian build of the package gets: fortified functions, stack protector, RELRO.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIM_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
cmake --build "$build" -j"$(nproc)" >&2

rm -f "$build"/glimmervellium_*.deb
(cd "$build" && cpack -G DEB) >&2
deb=$(find "$build" -maxdepth 1 -name 'glimmervellium_*.deb')
mkdir -p "$out"
mv "$deb" "$out/"
echo "$out/$(basename "$deb")"
