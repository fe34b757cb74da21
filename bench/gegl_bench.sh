#!/usr/bin/env bash
# The GEGL operation against the zavol tool on one 3840x2160 16-bit PNG height map, timed turn
# about so that each sees the same load: the tool to an 8-bit PNG; the gegl command through
# zavol:autostereogram to an 8-bit PNG (deflate level 1, as the tool) and to its default 16-bit
# RGBA PNG; and the gegl command copying the height map to an 8-bit PNG without the operation,
# which is what GEGL's start-up and its PNG reader and writer cost on their own; and the same
# two to a binary PPM, a writer that costs almost nothing, which leaves the operation's own
# share (reading the heights, rendering, handing the pixels to GEGL's tiles). Wall time and
# processor time (user + system, all threads), medians. Figures only; nothing fails on time.
# Usage: bench/gegl_bench.sh [BUILD_DIR]      REPEATS=N (default 7)
set -euo pipefail
build=$(cd "${1:-build/native}" && pwd)
repeats=${REPEATS:-7}
zavol=$build/bin/zavol
[ -x "$zavol" ] && [ -f "$build/gegl-0.4/zavol-autostereogram.so" ] ||
  { echo "gegl_bench: build the zavol and zavol_gegl targets in $build first" >&2; exit 2; }
# GEGL_PATH replaces GEGL's own folder, so it is listed as well.
export GEGL_PATH=$build/gegl-0.4:$(pkg-config --variable=pluginsdir gegl-0.4)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$zavol" scene --size 3840x2160 -o height.png

declare -A wall cpu
names=(tool gegl-8bit gegl-16bit gegl-copy gegl-ppm copy-ppm)
run() {
  case $1 in
    tool) "$zavol" render height.png -o out.png --depth-kind height --seed 1 --quiet ;;
    gegl-8bit) gegl height.png -- zavol:autostereogram seed=1 \
                 gegl:png-save path=out.png bitdepth=8 compression=1 ;;
    gegl-16bit) gegl height.png -o out.png -- zavol:autostereogram seed=1 ;;
    gegl-copy) gegl height.png -- gegl:png-save path=out.png bitdepth=8 compression=1 ;;
    gegl-ppm) gegl height.png -- zavol:autostereogram seed=1 gegl:ppm-save path=out.ppm bitdepth=8 ;;
    copy-ppm) gegl height.png -- gegl:ppm-save path=out.ppm bitdepth=8 ;;
  esac
}
for _ in $(seq "$repeats"); do
  for n in "${names[@]}"; do
    # GEGL's command reports buffers it leaks at exit on stderr; the figures need only the time.
    /usr/bin/time -f '%e %U %S' -o t.txt bash -c "$(declare -f run); zavol=$zavol; run $n" \
      >/dev/null 2>&1
    read -r e u s < t.txt
    wall[$n]+="$(awk -v e="$e" 'BEGIN{printf "%d", e*1000}') "
    cpu[$n]+="$(awk -v u="$u" -v s="$s" 'BEGIN{printf "%d", (u+s)*1000}') "
  done
done
median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }
echo "3840x2160 16-bit PNG height map, medians of $repeats (load: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-12s %10s %10s %10s\n' run "wall ms" "cpu ms" "x tool"
tool_ms=$(median "${wall[tool]}")
for n in "${names[@]}"; do
  w=$(median "${wall[$n]}")
  printf '%-12s %10s %10s %10s\n' "$n" "$w" "$(median "${cpu[$n]}")" \
    "$(awk -v w="$w" -v t="$tool_ms" 'BEGIN{printf "%.2f", w/t}')"
done
