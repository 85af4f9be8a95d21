#!/usr/bin/env bash
# Times glimmervellium-create --update on a 1,000-entry album made of the benchmark photo set
# (its 64 JPEGs repeated in turn): the full run into an empty folder (default --jobs), an
# update with nothing changed, one with one comment edited, and one with a picture added at
# the end, against a fresh run of a one-entry album of that picture. Checks each updated
# folder against a fresh run of the same album (diff -r, the record left out).
# Goals: unchanged <= 1.0 s and <= 0.02 x the full run; one comment <= 0.2 s; a picture added
# <= 1.5 x the one-entry album + 0.2 s.
#
#   usage: scripts/locked bench/update_album_bench.sh [PHOTOS] [ROUNDS]
#     PHOTOS  the folder made by ../shared/bench/photos.sh (default: ../bench-photos beside
#             the repository); its jpeg/ folder is used
#     ROUNDS  rounds of the quick updates (default 5); the full run is timed once
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
photos=${1:-${GLIM_BENCH_PHOTOS:-$root/../bench-photos}}
rounds=${2:-5}
build=${GLIM_BENCH_BUILD:-$root/build/gen-bench}
entries=1000

shopt -s nullglob
files=("$photos"/jpeg/*.jpg)
if [ ${#files[@]} -eq 0 ]; then
  echo "no photos in $photos/jpeg: run ../shared/bench/photos.sh $photos first" >&2
  exit 2
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIM_BENCH=ON \
  -DGLIM_TESTS=OFF >/dev/null
cmake --build "$build" --target glimmervellium-create write_bench_album >/dev/null
create=$build/cli/glimmervellium-create
write=$build/bench/generator/write_bench_album

work=$(mktemp -d "${TMPDIR:-/tmp}/glim-update-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
album=()
for ((i = 0; i < entries; i++)); do album+=("${files[i % ${#files[@]}]}"); done
added=$work/added/Neu.jpg  # a picture no entry has yet: a copy of the first photo
mkdir -p "$work/added"
cp "${files[0]}" "$added"
"$write" "$work/base.lmf" "${album[@]}"
"$write" --comment 500 "Ein neuer Kommentar" "$work/comment.lmf" "${album[@]}"
"$write" --comment 500 "Ein neuer Kommentar" "$work/added.lmf" "${album[@]}" "$added"
"$write" "$work/one.lmf" "$added"
cat "${files[@]}" >/dev/null  # every run starts with the photos in the page cache

# One timed run: prints its seconds.
timed() {
  /usr/bin/time -f "%e" -o "$work/time" "$@" >"$work/stdout" 2>"$work/stderr" || {
    echo "failed: $*" >&2
    cat "$work/stderr" >&2
    exit 1
  }
  cat "$work/time"
}
# The folder `$1` holds what a fresh run of album `$2` makes.
same_as_fresh() {
  rm -rf "$work/fresh"
  "$create" "$2" "$work/fresh/index.htm" >/dev/null 2>&1
  diff -r -x .index.htm.record "$1" "$work/fresh" >/dev/null || { echo "$1 differs from a fresh run of $2" >&2; exit 1; }
}

full=$(timed "$create" --update "$work/base.lmf" "$work/web/index.htm")
echo "full run of $entries entries into an empty folder: $full s"
: >"$work/unchanged.s"
: >"$work/comment.s"
: >"$work/added.s"
: >"$work/one.s"
for ((i = 1; i <= rounds; i++)); do
  u=$(timed "$create" --update "$work/base.lmf" "$work/web/index.htm")
  c=$(timed "$create" --update "$work/comment.lmf" "$work/web/index.htm")
  a=$(timed "$create" --update "$work/added.lmf" "$work/web/index.htm")
  rm -rf "$work/one"
  o=$(timed "$create" "$work/one.lmf" "$work/one/index.htm")
  echo "$u" >>"$work/unchanged.s"
  echo "$c" >>"$work/comment.s"
  echo "$a" >>"$work/added.s"
  echo "$o" >>"$work/one.s"
  printf 'round %d: unchanged %.2f s   one comment %.2f s   picture added %.2f s   one-entry album %.2f s\n' \
    "$i" "$u" "$c" "$a" "$o"
  # Back to the base album for the next round (its picture removed, the comment undone).
  "$create" --update "$work/base.lmf" "$work/web/index.htm" >/dev/null 2>&1
done
same_as_fresh "$work/web" "$work/base.lmf"
"$create" --update "$work/added.lmf" "$work/web/index.htm" >/dev/null 2>&1
same_as_fresh "$work/web" "$work/added.lmf"

median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
awk -v f="$full" -v u="$(median "$work/unchanged.s")" -v c="$(median "$work/comment.s")" \
  -v a="$(median "$work/added.s")" -v o="$(median "$work/one.s")" 'BEGIN {
  printf "medians: unchanged %.2f s (%.4f x full; goal <= 1.0 s and <= 0.02 x: %s)\n", u, u / f,
         (u <= 1.0 && u / f <= 0.02 ? "met" : "NOT met")
  printf "         one comment %.2f s (goal <= 0.2 s: %s)\n", c, (c <= 0.2 ? "met" : "NOT met")
  printf "         picture added %.2f s, one-entry album %.2f s (goal <= 1.5 x + 0.2 s = %.2f s: %s)\n",
         a, o, 1.5 * o + 0.2, (a <= 1.5 * o + 0.2 ? "met" : "NOT met") }'
echo "every updated folder equals a fresh run (diff -r, the record left out)"
