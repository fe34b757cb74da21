#!/usr/bin/env bash
# Process-level checks of the zavol tool: the demo renders, bad inputs give one clear line, the
# right exit code and no output file. Usage: cli_process.sh ZAVOL
set -u
zavol=$1
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
fails=0
check() {  # name expected-code pattern command...
  local name=$1 code=$2 pattern=$3; shift 3
  out=$("$@" 2>&1); rc=$?
  if [ "$rc" != "$code" ] || ! grep -q -- "$pattern" <<<"$out"; then
    echo "FAIL $name: exit $rc, output: $out"; fails=$((fails + 1))
  else echo "ok   $name"; fi
}
check demo_writes_png 0 "written to $dir/d.png" "$zavol" demo -o "$dir/d.png"
head -c 8 "$dir/d.png" | od -An -c | grep -q "P   N   G" || { echo "FAIL demo output is not a PNG"; fails=$((fails+1)); }
check missing_input 1 "missing.pfm: cannot open" "$zavol" render "$dir/missing.pfm" -o "$dir/a.png"
printf 'not an image' > "$dir/junk.pfm"
check not_a_pfm 1 "junk.pfm: not a PFM file" "$zavol" render "$dir/junk.pfm" -o "$dir/b.png"
printf 'Pf\n4 2\n-1.0\n' > "$dir/short.pfm"; head -c 12 /dev/zero >> "$dir/short.pfm"
check truncated 1 "short.pfm: truncated" "$zavol" render "$dir/short.pfm" -o "$dir/c.png"
printf 'Pf\n70000 1\n-1.0\n' > "$dir/wide.pfm"
check too_wide 1 "over 65535" "$zavol" render "$dir/wide.pfm" -o "$dir/e.png"
head -c 40 /dev/zero > "$dir/short.block"
check short_block 1 "not 56 bytes" "$zavol" demo --settings "$dir/short.block" -o "$dir/f.png"
check unknown_option 2 "unknown option" "$zavol" demo --frobnicate
check bad_extension 2 "must end in .png or .pam" "$zavol" demo -o "$dir/g.jpg"
for f in a b c e f g; do ls "$dir"/$f.* >/dev/null 2>&1 && { echo "FAIL output $f left behind"; fails=$((fails+1)); }; done
# A PFM render to PAM: rows stored bottom-up come out top-down, every alpha is full.
python3 - "$dir/tiny.pfm" <<'PY'
import struct, sys
w, h = 40, 3
rows = [[-5.0] * w, [-1e30] * w, [-3.0 - x * 0.1 for x in range(w)]]  # top to bottom
with open(sys.argv[1], 'wb') as f:
    f.write(b'Pf\n%d %d\n-1.0\n' % (w, h))
    for row in reversed(rows):
        f.write(struct.pack('<%df' % w, *row))
PY
check pfm_to_pam 0 "" "$zavol" render "$dir/tiny.pfm" -o "$dir/t.pam" --seed 1
python3 - "$dir/t.pam" <<'PY' || fails=$((fails + 1))
import sys
data = open(sys.argv[1], 'rb').read()
head, body = data.split(b'ENDHDR\n', 1)
assert b'WIDTH 40' in head and b'HEIGHT 3' in head and len(body) == 40 * 3 * 8, "bad PAM"
alphas = [body[i:i + 2] for i in range(6, len(body), 8)]
assert all(a == b'\xff\xff' for a in alphas), "alpha not full"
print("ok   pam_alpha_full")
PY
echo "cli checks: $fails failed"
[ "$fails" -eq 0 ]
