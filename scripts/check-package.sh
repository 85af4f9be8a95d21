#!/usr/bin/env bash
# Checks a Debian package of Glimmervellium: lintian finds no error, the desktop entry and the
# AppStream metadata validate, the album file type is known by its name and by its first bytes
# and the desktop entry opens it, and the programs unpacked from it (dpkg -x, not installed) run
# from there with no library path: both name the package's version, and
# glimmervellium-create --demo makes a whole album of JPEG pictures and linked pages.
# Usage: scripts/check-package.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}

echo "lintian:"
lintian --fail-on error "$deb" || fail "lintian reports errors"

root="$work/root"
dpkg -x "$deb" "$root"
desktop=("$root"/usr/share/applications/*.desktop)
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ ${#desktop[@]} -eq 1 ] && [ ${#metainfo[@]} -eq 1 ] || fail "not one desktop entry and one metainfo"
id=$(basename "${metainfo[0]}" .metainfo.xml)
[ "$(basename "${desktop[0]}")" = "$id.desktop" ] || fail "the desktop entry is not named $id.desktop"
desktop-file-validate "${desktop[0]}" || fail "desktop-file-validate: ${desktop[0]}"
appstreamcli validate --no-net "${metainfo[0]}" || fail "appstreamcli validate"

# The album type in a MIME database of the package's entry alone: a saved album is of that
# type by its name, and by its header under any other name; the desktop entry opens it.
album_type=application/x-glimmervellium-album
mime=("$root"/usr/share/mime/packages/*.xml)
[ ${#mime[@]} -eq 1 ] || fail "not one shared-mime-info entry"
xmllint --noout "${mime[0]}" || fail "xmllint: ${mime[0]}"
mkdir -p "$work/data/mime/packages"
cp "${mime[0]}" "$work/data/mime/packages/"
update-mime-database "$work/data/mime" 2>/dev/null || fail "update-mime-database refuses ${mime[0]}"
printf 'Tulbrin Glimmervellium 1.0\0\0\0\0' >"$work/saved.lmf"
cp "$work/saved.lmf" "$work/saved-album"
for sample in saved.lmf saved-album; do
  found=$(XDG_DATA_HOME="$work/data" XDG_DATA_DIRS="$work/data:/usr/share" \
    gio info -a standard::content-type "$work/$sample" | sed -n 's/^ *standard::content-type: //p')
  [ "$found" = "$album_type" ] || fail "$sample is of type \"$found\", not $album_type"
done
grep -qx "MimeType=$album_type;" "${desktop[0]}" || fail "the desktop entry does not open $album_type"
grep -q '^Exec=glimmervellium %f$' "${desktop[0]}" || fail "the desktop entry does not pass the file"

# Nothing but the package's own RUNPATH may find its codec library, and there is no display.
run() { env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
version=$(dpkg-deb -f "$deb" Version)
dpkg-deb -f "$deb" Recommends | grep -qw ffmpeg || fail "the package does not recommend ffmpeg"
for program in glimmervellium glimmervellium-create; do
  answer=$(run "$root/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$answer" = "$program $version" ] || fail "$program --version says \"$answer\", not $version"
  # ffmpeg's libraries are GPL as Debian builds them: its programs run as child processes only.
  if run ldd "$root/usr/bin/$program" | grep 'libav\(codec\|format\|util\)'; then
    fail "$program links ffmpeg's libraries"
  fi
  library=$(run ldd "$root/usr/bin/$program" | sed -n 's/^\s*libpicodec.so.1 => \(.*\) (.*$/\1/p')
  [ -n "$library" ] && [[ "$(realpath "$library")" == "$root"/usr/lib/*/glimmervellium/* ]] ||
    fail "$program does not take the codec library from the package: \"$library\""
done

# Camera RAW pictures are read by LibRaw's thread-safe library, linked dynamically.
dpkg-deb -f "$deb" Depends | grep -q '\blibraw20\b' || fail "the package does not depend on LibRaw"

demo="$work/demo"
overview=$(run "$root/usr/bin/glimmervellium-create" --demo "$demo") || fail "--demo failed"
[ "$overview" = "$demo/album/index.htm" ] || fail "--demo printed \"$overview\""
album="$demo/album"
count=$(find "$demo/pictures" -type f | wc -l)
[ "$count" -gt 0 ] || fail "the demo painted no pictures"
for folder in pics mini html; do
  [ "$(find "$album/$folder" -type f | wc -l)" -eq "$count" ] ||
    fail "$folder does not hold one file for each of the $count pictures"
done
# Each picture is a JPEG of its original's size; each thumbnail a smaller JPEG.
for picture in "$demo"/pictures/*; do
  base=$(basename "${picture%.*}")
  size=$(identify -format '%wx%h' "$picture")
  pics=("$album/pics/$base".*)
  mini=("$album/mini/$base".*)
  [ "$(identify -format '%m %wx%h' "${pics[0]}")" = "JPEG $size" ] ||
    fail "pics/$base.* is not a JPEG of $size"
  read -r format width height <<<"$(identify -format '%m %w %h' "${mini[0]}")"
  [ "$format" = JPEG ] && [ $((width * height)) -lt $((${size%x*} * ${size#*x})) ] ||
    fail "mini/$base.* is not a smaller JPEG"
done
# The overview links every picture's page by its thumbnail; each page shows its picture and
# links back to the overview; every relative link of a page leads to a file of the album.
occurrences() { grep -o -F "$1" "$2" | wc -l; }
[ "$(occurrences 'HREF="./html/' "$album/index.htm")" -eq "$count" ] &&
  [ "$(occurrences 'SRC="./mini/' "$album/index.htm")" -eq "$count" ] ||
  fail "the overview does not show and link each of the $count pictures"
for page in "$album"/html/*; do
  [ "$(occurrences 'SRC="../pics/' "$page")" -eq 1 ] &&
    [ "$(occurrences 'HREF="../index.htm"' "$page")" -eq 1 ] ||
    fail "$(basename "$page") does not show one picture and link back to the overview"
done
for page in "$album/index.htm" "$album"/html/*; do
  while IFS= read -r target; do
    file=$(dirname "$page")/$(printf '%b' "${target//%/\\x}")
    [ -f "$file" ] || fail "$(basename "$page") refers to the missing $target"
  done < <(grep -o -E '(HREF|SRC)="[^":]*"' "$page" | sed -E 's/^[A-Z]+="(.*)"$/\1/')
done
echo "check-package: $(basename "$deb") is fine ($count pictures in the demo album)"
