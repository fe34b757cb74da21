#!/usr/bin/env bash
# End-to-end speed of the zavol tool, as a user runs it: one 3840x2160 frame from a 16-bit PNG
# height map to an 8-bit PNG, a 48-frame 1920x1080 OpenEXR sequence with --jobs 1 and 2, and a
# range of a million frames over ten small files.
# Figures only; nothing here fails on time. Usage: bench/end_to_end.sh [ZAVOL] [REPEATS]
set -euo pipefail
zavol=${1:-build/native/bin/zavol}
repeats=${2:-7}
[ -x "$zavol" ] || { echo "end_to_end: no zavol program at $zavol (build the native preset first)" >&2; exit 2; }
zavol=$(cd "$(dirname "$zavol")" && pwd)/$(basename "$zavol")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Runs the command REPEATS times; prints the best and the median wall time in milliseconds.
time_runs() {
  local times=() start
  for _ in $(seq "$repeats"); do
    start=$(now_ms)
    "$@" >/dev/null
    times+=($(( $(now_ms) - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[1], t[int((NR + 1) / 2)] }'
}

echo "end_to_end: inputs from the built-in scene ($zavol scene)"
"$zavol" scene --size 3840x2160 -o height.png
"$zavol" scene --size 1920x1080 --frames 1-48 -o 'depth_####.exr'
echo "  height.png $(stat -c %s height.png) bytes; 48 EXR frames $(du -sh --apparent-size . | cut -f1) in all"

read -r best median < <(time_runs "$zavol" render height.png -o frame.png --seed 1 -q)
echo "single frame 3840x2160, 16-bit PNG height map -> 8-bit PNG ($(nproc) cores):"
echo "  best ${best} ms, median ${median} ms (target: at most 180 ms)"

sequence_repeats=$(( repeats > 3 ? 3 : repeats ))
run_sequence() {
  "$zavol" render 'depth_####.exr' --frames 1-48 -o 'out_####.png' --seed 1 -q --jobs "$1"
}
repeats=$sequence_repeats
read -r one _ < <(time_runs run_sequence 1)
read -r two _ < <(time_runs run_sequence 2)
echo "sequence of 48 frames 1920x1080, EXR -> PNG (best of $sequence_repeats):"
echo "  --jobs 1: ${one} ms ($(awk -v t="$one" 'BEGIN { printf "%.1f", 48000 / t }') frames/s)"
echo "  --jobs 2: ${two} ms ($(awk -v t="$two" 'BEGIN { printf "%.1f", 48000 / t }') frames/s)"
echo "  speed-up $(awk -v a="$one" -v b="$two" 'BEGIN { printf "%.2f", a / b }')x (target: at least 1.8x)"

# Ten small frames asked for as 1-1000000: the run renders the ten and reports the rest in one
# line (exit 1, for the missing frames).
"$zavol" scene --size 64x36 --frames 1-10 -o 'small_##.pfm'
run_wide_range() {
  "$zavol" render 'small_##.pfm' --frames 1-1000000 --medium a4 -o 'small_out_##.pam' -q 2>/dev/null || [ $? -eq 1 ]
}
repeats=$sequence_repeats
read -r wide _ < <(time_runs run_wide_range)
echo "--frames 1-1000000 over 10 files of 64x36 (best of $sequence_repeats):"
echo "  ${wide} ms (target: at most 200 ms)"
