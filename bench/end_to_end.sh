#!/usr/bin/env bash
# End-to-end speed of the zavol tool, as a user runs it: one 3840x2160 frame from a 16-bit PNG
# height map and from a PFM to an 8-bit PNG (on every core and with --jobs 1), and a 48-frame
# 1920x1080 OpenEXR sequence with --jobs 1 and 2; then, when engine_bench is built beside the
# first program, its table of the defaults' 3840x2160 frame on one thread and on two (with each
# frame's digest). Several programs (a build from before a change, say) are timed turn about,
# so that each sees the same load. Figures only; nothing here fails on time.
# Usage: bench/end_to_end.sh [ZAVOL...]      REPEATS=N (default 10) runs per figure
set -euo pipefail
programs=("$@")
[ "${#programs[@]}" -gt 0 ] || programs=(build/native/bin/zavol)
repeats=${REPEATS:-10}
for i in "${!programs[@]}"; do
  p=${programs[$i]}
  [ -x "$p" ] || { echo "end_to_end: no zavol program at $p (build the native preset first)" >&2; exit 2; }
  programs[$i]=$(cd "$(dirname "$p")" && pwd)/$(basename "$p")
done
engine_bench=$(dirname "${programs[0]}")/engine_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# Times "PROGRAM ARGS..." for every program, turn about, RUNS times; prints per program its best
# and median wall time in milliseconds, one line each.
time_each() {
  local runs=$1
  shift
  local -a times
  for i in "${!programs[@]}"; do times[$i]=""; done
  for _ in $(seq "$runs"); do
    for i in "${!programs[@]}"; do
      local start
      start=$(now_ms)
      "${programs[$i]}" "$@" >/dev/null
      times[$i]+="$(( $(now_ms) - start )) "
    done
  done
  for i in "${!programs[@]}"; do
    printf '%s\n' ${times[$i]} | sort -n |
      awk -v name="${programs[$i]}" '{ t[NR] = $1 } END {
        printf "    %-48s best %5d ms, median %5d ms\n", name, t[1], t[int((NR + 1) / 2)] }'
  done
}

echo "end_to_end: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); inputs from the built-in scene"
"${programs[0]}" scene --size 3840x2160 -o height.png
"${programs[0]}" scene --size 3840x2160 -o depth.pfm
"${programs[0]}" scene --size 1920x1080 --frames 1-48 -o 'depth_####.exr'
echo "  height.png $(stat -c %s height.png) bytes, depth.pfm $(stat -c %s depth.pfm) bytes," \
     "48 EXR frames $(du -sh --apparent-size . | cut -f1) in all"

echo "single frame 3840x2160, 16-bit PNG height map -> 8-bit PNG, every core (median of $repeats):"
time_each "$repeats" render height.png -o frame.png --seed 1 -q
echo "  the same with --jobs 1:"
time_each "$repeats" render height.png -o frame.png --seed 1 -q --jobs 1
echo "single frame 3840x2160, PFM -> 8-bit PNG, every core (median of $repeats):"
time_each "$repeats" render depth.pfm -o frame.png --seed 1 -q

sequence_runs=$(( repeats > 3 ? 3 : repeats ))
for jobs in 1 2; do
  echo "sequence of 48 frames 1920x1080, EXR -> PNG, --jobs $jobs (best of $sequence_runs, 48 frames per run):"
  time_each "$sequence_runs" render 'depth_####.exr' --frames 1-48 -o 'out_####.png' --seed 1 -q --jobs "$jobs"
done

if [ -x "$engine_bench" ]; then
  echo "engine, the defaults' 3840x2160 frame through zavol_render ($engine_bench):"
  "$engine_bench" --benchmark_filter='threads/.*/3840x2160' 2>/dev/null |
    sed -n '/on several threads/,$p'
fi
echo "end_to_end: load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
