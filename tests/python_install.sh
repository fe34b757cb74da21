#!/usr/bin/env bash
# The Python module as its users get it: clones the checkout's committed tree, runs the venv and
# pip command of docs/python.md in the clone with pip kept off the network, imports the installed
# module from elsewhere, and runs the README's example program on a sample EXR file.
# Usage: tests/python_install.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "python_install: $*" >&2; exit 1; }

install_command='/usr/bin/python3 -m venv --system-site-packages venv && venv/bin/pip install --no-build-isolation ./python'
grep -qxF "$install_command" "$source/docs/python.md" || fail "docs/python.md no longer shows: $install_command"
awk '/^<!-- tested by tests\/python_install\.sh -->$/ { armed = 1; next }
     armed && /^```python$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$source/README.md" >"$work/example.py"
[ -s "$work/example.py" ] || fail "README.md has no Python block after its marker"

if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
  git clone --quiet --no-local "$source" "$work/zavol" || fail "cannot clone $source"
else
  # An unpacked archive: the tree without its build folders.
  mkdir "$work/zavol"
  tar -C "$source" --exclude=./build --exclude=./python/build -cf - . | tar -C "$work/zavol" -xf -
fi
cd "$work/zavol"
export PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1 PIP_DISABLE_PIP_VERSION_CHECK=1
eval "$install_command" >"$work/pip.log" 2>&1 || { cat "$work/pip.log" >&2; fail "the install failed"; }

cd "$work"
installed=$("$work/zavol/venv/bin/python" -c 'import zavol; print(zavol.__file__)') ||
  fail "the venv cannot import zavol"
case "$installed" in
  "$work/zavol/venv/"*) ;;
  *) fail "zavol was imported from $installed, not from the venv" ;;
esac
cp "$source/tests/data/cycles_single_zbuf.exr" depth.exr
"$work/zavol/venv/bin/python" example.py || fail "the README's example failed"
[ "$(head -c 8 stereo.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "the README's example wrote no PNG"
echo "python_install: installed in a venv from a clean clone, imported, the example ran"
