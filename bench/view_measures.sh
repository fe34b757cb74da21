#!/usr/bin/env bash
# The viewing options judged by the decoder, as a user runs the tool: stereograms rendered with
# each option (seed 1, RGB ramp) and decoded back with `zavol decode --compare` and the same
# options; the echoes beside object edges with symmetric linking against the default; the
# number of separation levels across a slope with --oversample 4 against 1.
# Figures only; nothing here fails on a figure. Needs python3 (depth files and level counts).
# Last, the decoder's wall time on the 1920x1080 picture with and without --oversample 4
# (one thread, interleaved, medians of REPEATS).
# Usage: bench/view_measures.sh [ZAVOL] [REPEATS]
set -euo pipefail
zavol=${1:-build/native/bin/zavol}
repeats=${2:-5}
data=$(cd "$(dirname "$0")/../tests/data" && pwd)
[ -x "$zavol" ] || { echo "view_measures: no zavol program at $zavol (build the native preset first)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "view_measures: needs python3" >&2; exit 2; }
zavol=$(cd "$(dirname "$zavol")" && pwd)/$(basename "$zavol")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$zavol" scene --size 1920x1080 -o scene.exr

# Depth files in the engine's convention (PFM, negative in front, nearer is nearer 0), 1920x1080:
# square.pfm, a near square over a flat background (clean object edges); ramp.pfm, a plane tilted
# along the rows over a few pixels of separation (the first two rows hold the near and far ends
# of the frame, so the slope stays shallow).
python3 - <<'EOF'
import struct
W, H = 1920, 1080
def write(name, value):
    with open(name, "wb") as f:
        f.write(b"Pf\n%d %d\n-1.0\n" % (W, H))
        for y in reversed(range(H)):  # PFM rows run bottom to top
            f.write(struct.pack("<%df" % W, *(value(x, y) for x in range(W))))
write("square.pfm", lambda x, y: -0.3 if 720 <= x < 1200 and 270 <= y < 810 else -1.0)
write("ramp.pfm", lambda x, y: (-0.3 if x < W // 2 else -1.0) if y < 2 else -0.9 + 0.1 * x / W)
EOF

field() { grep "^$1=" <<<"$2" | cut -d= -f2; }
# Renders DEPTH with OPTIONS, decodes it back with the same options, prints one row of scores.
measure() {
  local name=$1 depth=$2 options=$3
  # shellcheck disable=SC2086
  "$zavol" render "$depth" $options --seed 1 -q -o picture.png 2>/dev/null
  # shellcheck disable=SC2086
  local scores
  scores=$("$zavol" decode picture.png --compare "$depth" $options -q)
  printf '%-34s %-44s %8s %11s %10s %8s\n' "$name" "${options:-(defaults)}" \
    "$(field visible_share "$scores")" "$(field match_share "$scores")" \
    "$(field mean_error "$scores")" "$(field echoes "$scores")"
}

echo "(a, d) match share per option; (b) echoes (pixels decoded off within echo_reach of an edge)"
printf '%-34s %-44s %8s %11s %10s %8s\n' depth options visible match_share mean_error echoes
depths=(
  "built-in scene 1920x1080|scene.exr|"
  "cycles_single_zbuf.exr 320x180|$data/cycles_single_zbuf.exr|--fit"
  "cycles_multilayer.exr 320x180|$data/cycles_multilayer.exr|--fit"
  "square over background 1920x1080|square.pfm|"
)
for entry in "${depths[@]}"; do
  IFS='|' read -r name depth base <<<"$entry"
  for option in "" "--view cross" "--oversample 2" "--oversample 4" "--linking symmetric" \
                "--no-prevent-ghosting"; do
    measure "$name" "$depth" "$base $option"
  done
done

# (c) Levels across a slope: per row, the distinct decoded separations rounded to 1/16 pixel
# (and to 1/4) that at least 8 pixels of the row decode to; the median over the rows.
levels() {
  python3 - "$1" "$2" "$3" <<'EOF'
import struct, sys
path, first, last = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
with open(path, "rb") as f:
    f.readline()
    w, h = map(int, f.readline().split())
    scale = float(f.readline())
    values = struct.unpack(("<" if scale < 0 else ">") + "%df" % (w * h), f.read(4 * w * h))
def median(xs):
    xs = sorted(xs)
    return xs[len(xs) // 2]
out = []
for step in (16, 4):
    counts = []
    for y in range(int(first * h), int(last * h)):  # rows from the top fraction first to last
        row = values[(h - 1 - y) * w:(h - y) * w]
        votes = {}
        for s in row:
            if s == s:  # not NaN
                key = round(s * step)
                votes[key] = votes.get(key, 0) + 1
        counts.append(sum(1 for v in votes.values() if v >= 8))
    out.append(str(median(counts)))
print(" ".join(out))
EOF
}
echo
echo "(c) levels along rows over a slope (median per row): 1/16 px and 1/4 px bins"
printf '%-44s %-16s %8s %8s\n' slope options 1/16px 1/4px
for entry in "built-in scene's tilted plane (rows 0.75-1)|scene.exr|0.75|1.0" \
             "synthetic ramp (rows 0.01-1)|ramp.pfm|0.01|1.0"; do
  IFS='|' read -r name depth first last <<<"$entry"
  for n in 1 4; do
    "$zavol" render "$depth" --oversample "$n" --seed 1 -q -o picture.png
    "$zavol" decode picture.png --oversample "$n" --separations -o separations.pfm -q
    read -r fine quarter < <(levels separations.pfm "$first" "$last")
    printf '%-44s %-16s %8s %8s\n' "$name" "--oversample $n" "$fine" "$quarter"
  done
done

echo
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
"$zavol" render scene.exr --seed 1 -q -o plain.png
"$zavol" render scene.exr --oversample 4 --seed 1 -q -o fine.png
plain=() fine=()
for _ in $(seq "$repeats"); do
  start=$(now_ms); "$zavol" decode plain.png -o height.png -q --jobs 1; plain+=($(( $(now_ms) - start )))
  start=$(now_ms); "$zavol" decode fine.png --oversample 4 -o height.png -q --jobs 1; fine+=($(( $(now_ms) - start )))
done
echo "decode 1920x1080, --jobs 1, median of $repeats ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)):"
echo "  default picture: $(median "${plain[@]}") ms   --oversample 4 picture with --oversample 4: $(median "${fine[@]}") ms"
