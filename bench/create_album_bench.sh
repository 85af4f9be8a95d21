#!/usr/bin/env bash
# Times glimmervellium-create on the benchmark photo set against its floor, measured in the
# same run: the same photos decoded and encoded again full size with TurboJPEG directly (same
# quality and subsampling as the album's JPEG writer) plus the thumbnail. Both run on one
# core; the best of several runs counts. Prints the ratio (goal: at most 1.10) and the
# builder's peak memory against two decoded pictures plus 64 MB.
#
#   usage: scripts/locked bench/create_album_bench.sh [PHOTOS] [RUNS]
#     PHOTOS  the folder made by ../shared/bench/photos.sh (default: ../bench-photos beside
#             the repository); its jpeg/ folder is used
#     RUNS    timed runs of each (default 3)
# Run it under scripts/locked: it builds (Release, build/gen-bench) and then times.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
photos=${1:-${GLIM_BENCH_PHOTOS:-$root/../bench-photos}}
runs=${2:-3}
build=${GLIM_BENCH_BUILD:-$root/build/gen-bench}
core=${GLIM_BENCH_CORE:-0}

for tool in /usr/bin/time taskset; do
  command -v "$tool" >/dev/null || { echo "$tool is needed (packages time, util-linux)" >&2; exit 2; }
done
shopt -s nullglob
files=("$photos"/jpeg/*.jpg)
if [ ${#files[@]} -eq 0 ]; then
  echo "no photos in $photos/jpeg: run ../shared/bench/photos.sh $photos first" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIM_BENCH=ON \
  -DGLIM_TESTS=OFF >/dev/null
cmake --build "$build" --target glimmervellium-create create_album_floor write_bench_album \
  >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/glim-album-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/generator/write_bench_album" "$work/photos.lmf" "${files[@]}"
cat "${files[@]}" >/dev/null  # both start with the photos in the page cache

# One timed run: wall seconds and peak resident kilobytes, printed as "seconds kilobytes".
timed() {
  local out=$1
  shift
  rm -rf "$out"
  /usr/bin/time -f "%e %M" -o "$work/time" taskset -c "$core" "$@" >"$work/stdout" 2>"$work/stderr" || {
    echo "failed: $*" >&2
    cat "$work/stderr" >&2
    exit 1
  }
  cat "$work/time"
}

best_floor=
best_ours=
peak_ours=0
for ((i = 1; i <= runs; i++)); do
  read -r floor_s floor_kb < <(timed "$work/floor" "$build/bench/generator/create_album_floor" \
    "$work/floor" "${files[@]}")
  largest=$(sed -n 's/^largest decoded picture: \([0-9]*\) bytes$/\1/p' "$work/stdout")
  read -r ours_s ours_kb < <(timed "$work/album" "$build/cli/glimmervellium-create" \
    "$work/photos.lmf" "$work/album/index.htm")
  printf 'run %d: floor %6.2f s (%d MB)   glimmervellium-create %6.2f s (%d MB)\n' "$i" \
    "$floor_s" $((floor_kb / 1024)) "$ours_s" $((ours_kb / 1024))
  best_floor=$(awk -v a="$floor_s" -v b="${best_floor:-$floor_s}" 'BEGIN{print (a < b ? a : b)}')
  best_ours=$(awk -v a="$ours_s" -v b="${best_ours:-$ours_s}" 'BEGIN{print (a < b ? a : b)}')
  peak_ours=$((ours_kb > peak_ours ? ours_kb : peak_ours))
done

count=$(ls "$work/album/pics" | wc -l)
megapixels=$(awk -F'\t' 'NR > 1 && $1 ~ /^jpeg\// {s += $6} END {printf "%.0f", s}' \
  "$photos/MANIFEST.tsv" 2>/dev/null || echo "?")
budget_kb=$(((2 * largest + 64 * 1024 * 1024) / 1024))
echo "photos: ${#files[@]} JPEGs, ${megapixels} MP; album pictures written: $count"
awk -v ours="$best_ours" -v floor="$best_floor" 'BEGIN {
  r = ours / floor
  printf "best of runs: floor %.2f s, glimmervellium-create %.2f s, ratio %.3f (goal <= 1.10: %s)\n",
         floor, ours, r, (r <= 1.10 ? "met" : "NOT met") }'
awk -v peak="$peak_ours" -v budget="$budget_kb" -v largest="$largest" 'BEGIN {
  printf "peak memory %.0f MB; budget %.0f MB (two decoded pictures of %.0f MB + 64 MB): %s\n",
         peak / 1024, budget / 1024, largest / 1048576, (peak <= budget ? "met" : "NOT met") }'
