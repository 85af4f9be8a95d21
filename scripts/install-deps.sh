#!/usr/bin/env bash
# Installs every package the build, the application and the tests need (Debian 12).
# Idempotent: when everything is present it prints nothing and installs nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libturbojpeg0-dev libpng-dev libtiff-dev libgif-dev libwebp-dev
  libheif-dev libexif-dev liblcms2-dev libavif-dev libxxhash-dev zlib1g-dev libraw-dev
  libcups2-dev cups printer-driver-cups-pdf
  icc-profiles-free colord-data
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool x11-apps poppler-utils imagemagick chromium fonts-dejavu-core time
  weston qt6-wayland at-spi2-core python3-pyatspi dbus-daemon
  dpkg-dev file librsvg2-bin lintian desktop-file-utils appstream
  shared-mime-info libglib2.0-bin libxml2-utils
  ffmpeg
)
# The web page checkers run on Java and Node.js: Debian's, unless the machine has its own.
command -v java >/dev/null 2>&1 || packages+=(default-jre-headless)
{ command -v node && command -v npm; } >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The checkers of the modern album pages (the Nu HTML validator, axe-core, puppeteer-core),
# from the npm registry at the versions of tests/web/package-lock.json. Their install scripts
# are not run: the validator runs on Debian's Java, puppeteer on Debian's Chromium.
web="$(dirname "$0")/../tests/web"
if ! cmp -s "$web/package-lock.json" "$web/node_modules/.glim-installed-lock" 2>/dev/null; then
  echo "Installing the web page checkers into tests/web/node_modules"
  npm ci --prefix "$web" --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null
  cp "$web/package-lock.json" "$web/node_modules/.glim-installed-lock"
fi
