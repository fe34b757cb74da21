#!/usr/bin/env bash
# The Debian packages as a user gets them: `make package`'s build (the package preset), lintian
# without errors, dependencies that this Debian release can satisfy, then dpkg installs them
# into a throwaway root with its own database, where the tool, its manual and completions, the
# pkg-config file, the library and the Python module are used; dpkg then removes them again.
# Usage: tests/packages_test.sh SOURCE_DIR
set -euo pipefail
source=$(cd "$1" && pwd)
fail() { echo "packages_test: $*" >&2; exit 1; }
cd "$source"
cmake --preset package >/dev/null || fail "cmake --preset package failed"
cmake --build --preset package >/dev/null || fail "cmake --build --preset package failed"
version=$(sed -nE 's/^project\(zavol VERSION ([0-9.]+).*/\1/p;s/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
[ -n "$version" ] || fail "no project version in build/package/CMakeCache.txt"
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A deb
for package in zavol libzavol1 libzavol-dev python3-zavol gegl-zavol zavol-blender; do
  deb[$package]=$source/build/package/${package}_${version}_$arch.deb
  [ -f "${deb[$package]}" ] || fail "no ${deb[$package]}"
done
debs=("$source"/build/package/*_"$version"_*.deb)

# Dependencies: dpkg-shlibdeps found the libraries (libc6, FFmpeg's for the tool's video module),
# and every package named is one of ours or installed here.
depends_of() { dpkg-deb -f "$1" Depends | tr ',' '\n' | sed -E 's/^ *([^ ]+).*/\1/' | sort -u; }
for need in "zavol libc6" "zavol libavcodec59" "libzavol1 libstdc++6" "python3-zavol python3-numpy" "libzavol-dev libzavol1" "gegl-zavol libgegl-0.4-0" "zavol-blender blender" "zavol-blender python3-zavol"; do
  read -r package dependency <<<"$need"
  depends_of "${deb[$package]}" | grep -qx "$dependency" || fail "$package does not depend on $dependency"
done
for file in "${debs[@]}"; do
  for dependency in $(depends_of "$file"); do
    [[ " ${!deb[*]} " == *" $dependency "* ]] && continue
    dpkg-query -W -f='${Status}' "$dependency" 2>/dev/null | grep -q 'install ok installed' ||
      fail "$(basename "$file") depends on $dependency, which is not installed here"
  done
done

lintian --fail-on error "${debs[@]}" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }
grep -E '^[EW]:' "$work/lintian.log" || true

# dpkg into a root of its own: its database knows only these packages, so dependencies on the
# system's are not checked there (they were above) and no maintainer script runs.
root=$work/root
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
  dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless --no-triggers \
    --log=/dev/null "$@"
}
dpkg_root --install "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg cannot install the packages"; }
for package in "${!deb[@]}"; do
  for doc in copyright changelog.gz; do
    [ -f "$root/usr/share/doc/$package/$doc" ] || fail "$package has no /usr/share/doc/$package/$doc"
  done
  grep -q '^Copyright: the zavol authors$' "$root/usr/share/doc/$package/copyright" ||
    fail "$package's copyright file does not name the zavol authors"
done

libdir=$(dirname "$(find "$root/usr/lib" -name zavol.pc -path '*/pkgconfig/*')")/..
export LD_LIBRARY_PATH=$libdir MANPATH=$root/usr/share/man PKG_CONFIG_PATH=$libdir/pkgconfig
cd "$work"
"$root/usr/bin/zavol" demo -o demo.png --size 320x180 --seed 1 >/dev/null || fail "the installed zavol demo failed"
[ "$(head -c 8 demo.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "zavol demo wrote no PNG"
# The video module comes with the tool: a two-frame depth video round trip.
"$root/usr/bin/zavol" scene -o 'depth_#.png' --size 64x32 --frames 0-1 >/dev/null ||
  fail "the installed zavol scene failed"
"$root/usr/bin/zavol" render 'depth_#.png' --frames 0-1 --fit -o video.mkv -q || fail "the installed zavol cannot write a video"
for page in zavol zavol-render zavol-decode; do
  [[ $(man -w "$page") == "$root"/usr/share/man/man1/$page.1.gz ]] || fail "man -w $page does not find the installed page"
done
[ "$(pkg-config --modversion zavol)" = "$version" ] || fail "pkg-config --modversion zavol is not $version"
printf '#include <zavol.h>\n#include <stdio.h>\nint main(void) { puts(zavol_status_text(ZAVOL_OK)); return 0; }\n' >status.c
# shellcheck disable=SC2046
cc status.c -o status $(pkg-config --cflags --libs zavol) || fail "a program does not build with the installed pkg-config file"
ldd ./status | grep -q "$root/usr/lib/.*libzavol.so.1" || fail "the program does not load the installed libzavol.so.1"
./status >/dev/null || fail "the program built against the package failed"
module=$(PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c 'import zavol; print(zavol.__file__)') ||
  fail "/usr/bin/python3 cannot import the installed zavol"
[[ $module == "$root"/* ]] || fail "python3 imported zavol from $module, not from the package"
bash -c 'source "$1" && complete -p zavol' - "$root/usr/share/bash-completion/completions/zavol" >/dev/null ||
  fail "the installed bash completion does not load"
# The GEGL operation where GEGL looks (here: the root's folder beside the system's), and the
# GIMP plug-in in GIMP's folder.
gegl_dir=$(pkg-config --variable=pluginsdir gegl-0.4)
GEGL_PATH="$root$gegl_dir:$gegl_dir" gegl --info zavol:autostereogram 2>&1 | grep -q 'viewing-medium' ||
  fail "gegl does not find the installed zavol:autostereogram"
[ -x "$root/usr/lib/gimp/2.0/plug-ins/zavol-autostereogram/zavol-autostereogram" ] ||
  fail "the GIMP plug-in is not installed in GIMP's plug-in folder"
/usr/bin/python3 -c 'import sys, zipfile; sys.exit("zavol_stereogram/__init__.py" not in zipfile.ZipFile(sys.argv[1]).namelist())' \
  "$root/usr/share/zavol/blender/zavol_stereogram.zip" 2>/dev/null ||
  fail "the Blender add-on's zip is not installed, or holds no add-on"
[ -f "$root/usr/share/zsh/vendor-completions/_zavol" ] && [ -f "$root/usr/share/fish/vendor_completions.d/zavol.fish" ] ||
  fail "the zsh and fish completions are not installed where those shells look"

dpkg_root --purge $(for f in "${debs[@]}"; do dpkg-deb -f "$f" Package; done) >>"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log" >&2; fail "dpkg cannot remove the packages"; }
left=$(find "$root" -path "$root/var" -prune -o -type f -print)
[ -z "$left" ] || fail "files left after removal: $left"
echo "packages_test: $(for f in "${debs[@]}"; do echo -n "$(basename "$f") $(stat -c %s "$f") bytes; "; done)"
