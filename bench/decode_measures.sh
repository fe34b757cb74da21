#!/usr/bin/env bash
# The decoder as quality meter and its speed, as a user runs it: stereograms of the built-in
# scene (1920x1080, the defaults) and of the sample depth files in tests/data rendered with
# both ramps at a fixed seed, each decoded back with `zavol decode --compare`; then the wall
# time of decoding the 1920x1080 picture with --jobs 1 and 2, interleaved.
# Figures only; nothing here fails on a figure. Usage: bench/decode_measures.sh [ZAVOL] [REPEATS]
set -euo pipefail
zavol=${1:-build/native/bin/zavol}
repeats=${2:-5}
data=$(cd "$(dirname "$0")/../tests/data" && pwd)
[ -x "$zavol" ] || { echo "decode_measures: no zavol program at $zavol (build the native preset first)" >&2; exit 2; }
zavol=$(cd "$(dirname "$zavol")" && pwd)/$(basename "$zavol")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$zavol" scene --size 1920x1080 -o scene.exr

# name | depth file | options of both render and decode (the small Blender frames use --fit:
# at 320 pixels wide the default medium's background would not repeat twice)
cases=(
  "built-in scene 1920x1080|scene.exr|"
  "cycles_single_zbuf.exr 320x180|$data/cycles_single_zbuf.exr|--fit"
  "cycles_multilayer.exr 320x180|$data/cycles_multilayer.exr|--fit"
  "v2_LowResLeftView_Trunks.exr 1024x576|$data/v2_LowResLeftView_Trunks.exr|"
  "chain_ring.png 1920x1080|$data/chain_ring.png|"
  "Beachball_singlepart.0001.exr 2048x1556|$data/Beachball_singlepart.0001.exr|"
)
field() { grep "^$1=" <<<"$2" | cut -d= -f2; }
printf '%-42s %-4s %9s %11s %10s %8s %9s\n' depth ramp visible match_share mean_error unknown echoes
for entry in "${cases[@]}"; do
  IFS='|' read -r name depth options <<<"$entry"
  for ramp in rgb hsv; do
    # shellcheck disable=SC2086
    "$zavol" render "$depth" $options --ramp "$ramp" --seed 1 -q -o picture.png 2>/dev/null
    # shellcheck disable=SC2086
    scores=$("$zavol" decode picture.png --compare "$depth" $options --ramp "$ramp" -q)
    printf '%-42s %-4s %9s %11s %10s %8s %9s\n' "$name" "$ramp" "$(field visible_share "$scores")" \
      "$(field match_share "$scores")" "$(field mean_error "$scores")" "$(field unknown "$scores")" \
      "$(field echoes "$scores")"
  done
done

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
"$zavol" render scene.exr --seed 1 -q -o picture.png
one=() two=()
for _ in $(seq "$repeats"); do
  for jobs in 1 2; do
    start=$(now_ms)
    "$zavol" decode picture.png -o height.png -q --jobs "$jobs"
    elapsed=$(( $(now_ms) - start ))
    if [ "$jobs" = 1 ]; then one+=("$elapsed"); else two+=("$elapsed"); fi
  done
done
median() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
echo "decode 1920x1080 PNG -> 16-bit PNG height map, median of $repeats ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)):"
echo "  --jobs 1: $(median "${one[@]}") ms   --jobs 2: $(median "${two[@]}") ms (target: under 1000 ms)"
