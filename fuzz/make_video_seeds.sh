#!/usr/bin/env bash
# Writes the seed videos of the video fuzz target: a few frames of a small moving depth scene in
# the containers and pixel formats a depth video comes in, each a few kilobytes. Usage:
#   fuzz/make_video_seeds.sh [ZAVOL] [FOLDER]     (default build/native/bin/zavol, fuzz/corpus/video)
set -euo pipefail
zavol=${1:-build/native/bin/zavol}
out=${2:-fuzz/corpus/video}
command -v ffmpeg >/dev/null || { echo "make_video_seeds: needs the ffmpeg program (scripts/setup)" >&2; exit 2; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$zavol" scene --size 24x16 --frames 0-2 -o "$work/h_#.png"
encode() {  # name, then ffmpeg output options
  local name=$1; shift
  ffmpeg -v error -nostdin -y -framerate 12 -i "$work/h_%d.png" "$@" "$out/$name"
}
encode grey.mkv -c:v ffv1 -pix_fmt gray
encode grey16.mkv -c:v ffv1 -pix_fmt gray16le
encode h264.mp4 -c:v libx264 -pix_fmt yuv420p -preset ultrafast -movflags +faststart
encode vp9.webm -c:v libvpx-vp9 -pix_fmt yuv420p -cpu-used 8 -deadline realtime
encode palette.gif
encode bgr.avi -c:v rawvideo -pix_fmt bgr24
encode frames.y4m -pix_fmt yuv444p
encode mjpeg.avi -c:v mjpeg -pix_fmt yuvj420p
ls -l "$out"
