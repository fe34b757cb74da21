#!/usr/bin/env bash
# The page's tests: builds the web preset when its sources have changed (Ninja decides), then runs
# the module's tests under node and the page's in headless Chromium. Needs emscripten, chromium,
# node and web/node_modules (scripts/setup); a missing one fails, it is never skipped.
#   web/test/run.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "${1:?usage: run.sh SOURCE_DIR}" && pwd)
cd "$source_dir"
for program in emcc node /usr/bin/chromium; do
  command -v "$program" >/dev/null || { echo "web tests: no $program (run scripts/setup)" >&2; exit 1; }
done
[ -d web/node_modules/puppeteer-core ] || { echo "web tests: no web/node_modules (run scripts/setup)" >&2; exit 1; }
# CMake's presets pass their environment to emcc; a launcher cache variable from the caller's
# environment (ccache) is fine.
cmake --preset web >/dev/null
cmake --build --preset web
export ZAVOL_WEB_SITE="$source_dir/build/web/site"
cd web
exec node --test --test-reporter=tap test/
