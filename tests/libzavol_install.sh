#!/usr/bin/env bash
# The library as its users get it: installs a native build into a temporary prefix, builds the
# README's example program with the README's own pkg-config commands and through find_package
# (static and shared), the row sink's example from docs/library-rows.md and the checks' example
# from docs/library.md, runs them, and checks the shared library's exports and soname.
# Usage: tests/libzavol_install.sh BUILD_DIR SOURCE_DIR [CMAKE]
set -euo pipefail
build=$1
source=$2
cmake=${3:-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "libzavol_install: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
pc=$(find "$work/prefix" -name zavol.pc)
[ -n "$pc" ] || fail "no zavol.pc installed"
libdir=$(dirname "$(dirname "$pc")")
for f in include/zavol.h bin/zavol; do [ -e "$work/prefix/$f" ] || fail "$f not installed"; done
for f in libzavol.a libzavol.so; do [ -e "$libdir/$f" ] || fail "$f not installed in $libdir"; done

# The program is the README's C block after its marker; the commands are docs/library.md's lines.
awk '/^<!-- tested by tests\/libzavol_install\.sh -->$/ { armed = 1; next }
     armed && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$source/README.md" >"$work/stereo.c"
[ -s "$work/stereo.c" ] || fail "README.md has no C block after its marker"
build_command='cc stereo.c -o stereo $(pkg-config --cflags --libs zavol)'
run_command='./stereo > stereo.ppm'
for line in "$build_command" "$run_command"; do
  grep -qxF "$line" "$source/docs/library.md" || fail "docs/library.md no longer shows: $line"
done

cd "$work"
export PKG_CONFIG_PATH="$libdir/pkgconfig" LD_LIBRARY_PATH="$libdir"
# The header is strict C99 and C++11, and the program compiles cleanly against it.
cc -std=c99 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -I"$work/prefix/include" stereo.c ||
  fail "stereo.c and zavol.h are not clean C99"
echo '#include <zavol.h>' | c++ -x c++ -std=c++11 -pedantic-errors -Wall -Wextra -Werror \
  -fsyntax-only -I"$work/prefix/include" - || fail "zavol.h is not clean C++11"
eval "$build_command" || fail "the README's program does not build"
eval "$run_command" || fail "the README's program failed"
# (Outputs are captured before grep -q reads them: under pipefail an early exit fails the writer.)
libraries=$(ldd ./stereo)
grep -q "$libdir/libzavol.so" <<<"$libraries" || fail "stereo is not linked to the installed libzavol.so"

# A 640x360 binary PPM whose dots are not all one colour.
expected_size=$((15 + 640 * 360 * 3))
[ "$(head -c 15 stereo.ppm | od -An -c | tr -d ' \n')" = 'P6\n640360\n255\n' ] ||
  fail "stereo.ppm has no 640x360 PPM header"
[ "$(stat -c %s stereo.ppm)" -eq "$expected_size" ] || fail "stereo.ppm is not $expected_size bytes"
colours=$(tail -c +16 stereo.ppm | od -An -v -tx1 -w3 | sort -u | wc -l)
[ "$colours" -gt 1000 ] || fail "stereo.ppm has only $colours colours: not a random-dot image"

# The row sink's program from docs/library-rows.md: a tall frame streamed into a PPM image.
for line in 'cc rows.c -o rows $(pkg-config --cflags --libs zavol)' './rows > tall.ppm'; do
  grep -qxF "$line" "$source/docs/library-rows.md" || fail "docs/library-rows.md no longer shows: $line"
done
awk '/^<!-- tested by tests\/libzavol_install\.sh -->$/ { armed = 1; next }
     armed && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$source/docs/library-rows.md" >rows.c
[ -s rows.c ] || fail "docs/library-rows.md has no C block after its marker"
cc -std=c99 -pedantic-errors -Wall -Wextra -Werror rows.c -o rows $(pkg-config --cflags --libs zavol) ||
  fail "the row sink's program does not build cleanly"
./rows >tall.ppm || fail "the row sink's program failed"
[ "$(stat -c %s tall.ppm)" -eq $((16 + 320 * 8000 * 3)) ] || fail "tall.ppm is not a 320x8000 PPM"

# The checks' program from docs/library.md: a refused setting, the fitted dpi and the findings,
# printed as the page shows.
for line in 'cc checks.c -o checks $(pkg-config --cflags --libs zavol)' './checks'; do
  grep -qxF "$line" "$source/docs/library.md" || fail "docs/library.md no longer shows: $line"
done
awk '/^<!-- tested by tests\/libzavol_install\.sh -->$/ { armed = 1; next }
     armed && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$source/docs/library.md" >checks.c
[ -s checks.c ] || fail "docs/library.md has no C block after its marker"
awk '/^<!-- not run: the output of the program above/ { armed = 1; next }
     armed && /^```text$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$source/docs/library.md" >checks.expected
[ -s checks.expected ] || fail "docs/library.md shows no output of the checks' program"
cc -std=c99 -pedantic-errors -Wall -Wextra -Werror checks.c -o checks $(pkg-config --cflags --libs zavol) ||
  fail "the checks' program does not build cleanly"
./checks >checks.out || fail "the checks' program failed"
diff checks.expected checks.out >&2 || fail "the checks' program prints other lines than docs/library.md shows"

# The same program through the CMake package, once per library: the same bytes.
mkdir consumer
cat >consumer/CMakeLists.txt <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(stereo_consumer C)
find_package(zavol 1 REQUIRED CONFIG)
add_executable(stereo_static ../stereo.c)
target_link_libraries(stereo_static PRIVATE zavol::zavol_static)
add_executable(stereo_shared ../stereo.c)
target_link_libraries(stereo_shared PRIVATE zavol::zavol)
EOF
"$cmake" -S consumer -B consumer/build -DCMAKE_PREFIX_PATH="$work/prefix" >consumer.log 2>&1 &&
  "$cmake" --build consumer/build >>consumer.log 2>&1 || { cat consumer.log >&2; fail "find_package(zavol) consumer does not build"; }
for variant in static shared; do
  "consumer/build/stereo_$variant" >"stereo_$variant.ppm" || fail "stereo_$variant failed"
  cmp -s stereo.ppm "stereo_$variant.ppm" || fail "stereo_$variant gives other bytes than stereo"
done
libraries=$(ldd consumer/build/stereo_static)
if grep -q libzavol <<<"$libraries"; then fail "stereo_static loads libzavol.so"; fi

# Exports: the C interface and nothing else; the soname carries the header's major version.
so=$(readlink -f "$libdir/libzavol.so")
exports=$(nm -D --defined-only "$so" | awk '{ print $NF }')
others=$(printf '%s\n' "$exports" | grep -v '^zavol_' || true)
[ -z "$others" ] || fail "libzavol.so exports more than zavol_*: $(echo $others)"
for name in zavol_render zavol_settings_default zavol_options_default zavol_status_text \
  zavol_settings_check zavol_fit_dpi; do
  grep -qx "$name" <<<"$exports" || fail "libzavol.so does not export $name"
done
major=$(sed -n 's/^#define ZAVOL_VERSION_MAJOR \([0-9]*\)$/\1/p' "$work/prefix/include/zavol.h")
[ -n "$major" ] || fail "the installed zavol.h defines no ZAVOL_VERSION_MAJOR"
headers=$(objdump -p "$so")
grep -q "SONAME *libzavol\.so\.$major\$" <<<"$headers" || fail "soname is not libzavol.so.$major"
echo "libzavol_install: installed, README program built and run, $(printf '%s\n' "$exports" | wc -l) exports all zavol_*"
