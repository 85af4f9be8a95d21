#!/usr/bin/env bash
# Times glimmervellium-create on the benchmark photo set against the reference floor, in one
# run, interleaved: the floor of ../shared/bench/floor (libjpeg-turbo alone doing the album
# job on one thread, buffers reused), the builder with --jobs 1, and the builder with its
# default (every core it may use). Prints the medians, their ratios to the floor and the
# builder's peak memory with one job and with the default.
# It also times the default with --style modern (the pages, a style sheet, thumbnails at twice
# the box, the pictures at four widths and two of them as AVIF too) against the same classic
# run, and the modern style with the JPEG widths alone (GLIM_BENCH_AVIF=off: a switch read by
# the builder for this benchmark only).
# Goals: --jobs 1 <= 1.05 x floor; the default on 2 cores <= 0.60 x floor; peak memory of the
# default <= 2.2 x that of one job; the modern style <= 2.0 x the classic default, and
# <= 1.30 x with the JPEG widths alone.
#
#   usage: scripts/locked bench/create_album_bench.sh [PHOTOS] [ROUNDS]
#     PHOTOS  the folder made by ../shared/bench/photos.sh (default: ../bench-photos beside
#             the repository); its jpeg/ folder is used
#     ROUNDS  interleaved rounds (default 5)
# Run it under scripts/locked: it builds (Release, build/gen-bench) and then times.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
photos=${1:-${GLIM_BENCH_PHOTOS:-$root/../bench-photos}}
rounds=${2:-5}
build=${GLIM_BENCH_BUILD:-$root/build/gen-bench}
floor_script=${GLIM_FLOOR:-$root/../shared/bench/floor/floor.sh}

command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is needed (package time)" >&2; exit 2; }
[ -x "$floor_script" ] || [ -f "$floor_script" ] || { echo "no floor at $floor_script" >&2; exit 2; }
shopt -s nullglob
files=("$photos"/jpeg/*.jpg)
if [ ${#files[@]} -eq 0 ]; then
  echo "no photos in $photos/jpeg: run ../shared/bench/photos.sh $photos first" >&2
  exit 2
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIM_BENCH=ON \
  -DGLIM_TESTS=OFF >/dev/null
cmake --build "$build" --target glimmervellium-create write_bench_album >/dev/null
bash "$floor_script" --build

work=$(mktemp -d "${TMPDIR:-/tmp}/glim-album-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/generator/write_bench_album" "$work/photos.lmf" "${files[@]}"
cat "${files[@]}" >/dev/null  # every run starts with the photos in the page cache

# One timed run into a fresh folder: prints "seconds kilobytes".
timed() {
  local out=$1
  shift
  rm -rf "$out"
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/stdout" 2>"$work/stderr" || {
    echo "failed: $*" >&2
    cat "$work/stderr" >&2
    exit 1
  }
  cat "$work/time"
}

: >"$work/floor.s"
: >"$work/one.s"
: >"$work/all.s"
: >"$work/one.kb"
: >"$work/all.kb"
: >"$work/modern.s"
: >"$work/jpegs.s"
for ((i = 1; i <= rounds; i++)); do
  read -r fs _ < <(timed "$work/floor" bash "$floor_script" "$work/floor" "${files[@]}")
  read -r os ok < <(timed "$work/one" "$build/cli/glimmervellium-create" --jobs 1 \
    "$work/photos.lmf" "$work/one/index.htm")
  read -r as ak < <(timed "$work/all" "$build/cli/glimmervellium-create" \
    "$work/photos.lmf" "$work/all/index.htm")
  read -r ms _ < <(timed "$work/modern" "$build/cli/glimmervellium-create" --style modern \
    "$work/photos.lmf" "$work/modern/index.htm")
  read -r js _ < <(GLIM_BENCH_AVIF=off timed "$work/jpegs" "$build/cli/glimmervellium-create" \
    --style modern "$work/photos.lmf" "$work/jpegs/index.htm")
  echo "$ms" >>"$work/modern.s"
  echo "$js" >>"$work/jpegs.s"
  echo "$fs" >>"$work/floor.s"
  echo "$os" >>"$work/one.s"
  echo "$as" >>"$work/all.s"
  echo "$ok" >>"$work/one.kb"
  echo "$ak" >>"$work/all.kb"
  printf 'round %d: floor %6.2f s   --jobs 1 %6.2f s (%d MB)   default %6.2f s (%d MB)   modern %6.2f s (JPEG alone %6.2f s)\n' \
    "$i" "$fs" "$os" $((ok / 1024)) "$as" $((ak / 1024)) "$ms" "$js"
done

median() { sort -g "$1" | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
maximum() { sort -g "$1" | tail -n 1; }
floor_m=$(median "$work/floor.s")
one_m=$(median "$work/one.s")
all_m=$(median "$work/all.s")
modern_m=$(median "$work/modern.s")
jpegs_m=$(median "$work/jpegs.s")
one_kb=$(maximum "$work/one.kb")
all_kb=$(maximum "$work/all.kb")
cores=$(nproc)
count=$(ls "$work/all/pics" | wc -l)
echo "photos: ${#files[@]} JPEGs; album pictures written: $count; cores: $cores"
awk -v f="$floor_m" -v o="$one_m" -v a="$all_m" -v ok="$one_kb" -v ak="$all_kb" -v m="$modern_m" -v j="$jpegs_m" 'BEGIN {
  printf "medians: floor %.2f s, --jobs 1 %.2f s (%.3f x floor, goal <= 1.05: %s), default %.2f s (%.3f x floor, goal <= 0.60: %s)\n",
         f, o, o / f, (o / f <= 1.05 ? "met" : "NOT met"), a, a / f, (a / f <= 0.60 ? "met" : "NOT met")
  printf "peak memory: --jobs 1 %.0f MB, default %.0f MB (%.2f x, goal <= 2.2: %s)\n",
         ok / 1024, ak / 1024, ak / ok, (ak / ok <= 2.2 ? "met" : "NOT met")
  printf "modern style: %.2f s, %.3f x the classic default (goal <= 2.0: %s)\n",
         m, m / a, (m / a <= 2.0 ? "met" : "NOT met")
  printf "modern style, JPEG widths alone: %.2f s, %.3f x the classic default (goal <= 1.30: %s)\n",
         j, j / a, (j / a <= 1.30 ? "met" : "NOT met") }'
