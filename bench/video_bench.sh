#!/usr/bin/env bash
# A video straight from zavol against the two-step way, on the same machine: 48 frames of the
# 1920x1080 built-in scene from OpenEXR to H.264 (crf 18, preset veryfast), directly (zavol
# render -o out.mp4) or as PNG frames that the ffmpeg program then encodes with the same
# settings. Runs alternate, and medians are reported with the load seen. Also the direct way's
# peak memory for 48 and 96 frames, which should not grow with the frame count. Figures only;
# nothing here fails on time. Usage: bench/video_bench.sh [ZAVOL] [REPEATS]
set -euo pipefail
zavol=${1:-build/native/bin/zavol}
repeats=${2:-3}
[ -x "$zavol" ] || { echo "video_bench: no zavol program at $zavol (build the native preset first)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "video_bench: needs the ffmpeg program (scripts/setup)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "video_bench: needs /usr/bin/time (Debian's time package)" >&2; exit 2; }
zavol=$(cd "$(dirname "$zavol")" && pwd)/$(basename "$zavol")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

direct() {
  "$zavol" render 'd_####.exr' --frames "1-$1" -o direct.mp4 --crf 18 --preset veryfast --seed 1 -q
}
two_step() {
  "$zavol" render 'd_####.exr' --frames 1-48 -o 'p_####.png' --seed 1 -q
  ffmpeg -v error -nostdin -y -framerate 24 -start_number 1 -i 'p_%04d.png' \
    -c:v libx264 -crf 18 -preset veryfast -pix_fmt yuv420p two.mp4
  rm -f p_*.png
}
# Wall seconds, peak resident memory (KB) and processor seconds (user + system) of one run.
measure() {
  /usr/bin/time -f "%e %M %U %S" -o time.txt "$@" >/dev/null
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' time.txt
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
load() { cut -d' ' -f1 /proc/loadavg; }

echo "video_bench: 96 frames of the 1920x1080 scene as OpenEXR ($zavol scene)"
"$zavol" scene --frames 1-96 -o 'd_####.exr'
# Timed through a shell of their own, so that the two steps count as one run.
export -f two_step direct
export zavol
loads=("$(load)")
direct_times=() two_times=() direct_cpu=() two_cpu=()
for i in $(seq "$repeats"); do
  read -r t _ c < <(measure bash -c "direct 48")
  direct_times+=("$t") direct_cpu+=("$c")
  read -r t _ c < <(measure bash -c "two_step")
  two_times+=("$t") two_cpu+=("$c")
  loads+=("$(load)")
done
d=$(printf '%s\n' "${direct_times[@]}" | median)
t=$(printf '%s\n' "${two_times[@]}" | median)
dc=$(printf '%s\n' "${direct_cpu[@]}" | median)
tc=$(printf '%s\n' "${two_cpu[@]}" | median)
echo "48 frames 1920x1080, EXR -> H.264 crf 18 veryfast ($(nproc) cores, load averages ${loads[*]}):"
echo "  direct (zavol -o out.mp4):          median ${d} s of ${direct_times[*]}"
echo "  two-step (PNG frames, then ffmpeg): median ${t} s of ${two_times[*]}"
echo "  direct is $(awk -v a="$t" -v b="$d" 'BEGIN { printf "%.2f", a / b }')x faster (goal: at least 1.3x)"
echo "  processor time (user + system): direct ${dc} s, two-step ${tc} s, ratio $(awk -v a="$tc" -v b="$dc" 'BEGIN { printf "%.2f", a / b }')"
echo "  files: direct.mp4 $(stat -c %s direct.mp4) bytes, two.mp4 $(stat -c %s two.mp4) bytes"

read -r _ m48 _ < <(measure "$zavol" render 'd_####.exr' --frames 1-48 -o m.mp4 --crf 18 --preset veryfast --seed 1 -q)
read -r _ m96 _ < <(measure "$zavol" render 'd_####.exr' --frames 1-96 -o m.mp4 --crf 18 --preset veryfast --seed 1 -q)
echo "peak memory of the direct way: 48 frames $((m48 / 1024)) MiB, 96 frames $((m96 / 1024)) MiB"
