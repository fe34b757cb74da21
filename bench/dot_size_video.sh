#!/usr/bin/env bash
# Do bigger dots survive H.264 better? The built-in scene rendered with --dot-size 1 to 4 at
# fixed seeds, written losslessly (PNG) and as H.264 (.mp4, libx264 at crf 18, 23 and 28, its
# default preset, yuv420p), each picture taken back out with ffmpeg and scored by
# `zavol decode --compare` against the depth (the share of visible pixels decoded within half a
# pixel of the engine's separation). Three kinds of frame: a one-frame video (an intra frame),
# and the last of 12 frames of the moving scene, with stream dots (new dots every frame, the
# plug-in's) and with stable dots (dots hold still where the depth does), which H.264 codes
# mostly from the frames before. Prints the median over the seeds of each case.
# Figures only; nothing here fails on a figure.
# Usage: bench/dot_size_video.sh [ZAVOL] [SIZE] [SEEDS]   (defaults: build/native/bin/zavol 1920x1080 "1 2 3")
set -euo pipefail
zavol=${1:-build/native/bin/zavol}
size=${2:-1920x1080}
seeds=${3:-1 2 3}
[ -x "$zavol" ] || { echo "dot_size_video: no zavol program at $zavol (build the native preset first)" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "dot_size_video: needs the ffmpeg program (scripts/setup installs it)" >&2; exit 2; }
zavol=$(cd "$(dirname "$zavol")" && pwd)/$(basename "$zavol")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
last=11
"$zavol" scene --size "$size" -o still.exr >/dev/null
"$zavol" scene --size "$size" --frames "0-$last" -o 'moving_##.exr' >/dev/null

share() {  # picture depth dot-size: the match share
  "$zavol" decode "$1" --compare "$2" --dot-size "$3" -q | sed -n 's/^match_share=//p'
}
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
frame_out() {  # video index png: frame index of the video as an 8-bit RGB PNG
  ffmpeg -nostdin -v error -y -i "$1" -vf "select=eq(n\\,$2)" -frames:v 1 -pix_fmt rgb24 "$3"
}

printf 'dot_size_video: %s, seeds %s, libx264 default preset, yuv420p; match share, median over the seeds\n' "$size" "$seeds"
printf '%-30s %5s %9s %8s %8s %8s\n' frame dots lossless crf18 crf23 crf28
for kind in intra stream stable; do
  for dots in 1 2 3 4; do
    declare -A scores=()
    for seed in $seeds; do
      case $kind in
        intra)
          depth=still.exr
          "$zavol" render still.exr --dot-size "$dots" --seed "$seed" -q -o lossless.png
          ;;
        stream | stable)
          depth=moving_$last.exr
          "$zavol" render 'moving_##.exr' --frames "0-$last" --dots "$kind" --dot-size "$dots" \
            --seed "$seed" -q -o 'frame_##.png'
          cp "frame_$last.png" lossless.png
          ;;
      esac
      scores[lossless]+=" $(share lossless.png "$depth" "$dots")"
      for crf in 18 23 28; do
        if [ "$kind" = intra ]; then
          "$zavol" render still.exr --dot-size "$dots" --seed "$seed" --crf "$crf" -q -o video.mp4
          frame_out video.mp4 0 decoded.png
        else
          "$zavol" render 'moving_##.exr' --frames "0-$last" --dots "$kind" --dot-size "$dots" \
            --seed "$seed" --crf "$crf" -q -o video.mp4
          frame_out video.mp4 "$last" decoded.png
        fi
        scores[$crf]+=" $(share decoded.png "$depth" "$dots")"
      done
    done
    case $kind in
      intra) name="one frame (intra)" ;;
      stream) name="frame $last of $((last + 1)), stream dots" ;;
      stable) name="frame $last of $((last + 1)), stable dots" ;;
    esac
    printf '%-30s %5s %9s %8s %8s %8s\n' "$name" "$dots" "$(median <<<"${scores[lossless]}")" \
      "$(median <<<"${scores[18]}")" "$(median <<<"${scores[23]}")" "$(median <<<"${scores[28]}")"
    unset scores
  done
done
