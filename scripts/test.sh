#!/usr/bin/env bash
# The whole test suite: installs the dependencies, then configures, builds and
# runs every test under each preset given (default: the debug build and the
# sanitizer build). Usage: scripts/test.sh [PRESET ...]
#
# The screen tests draw on a real X server: the one of DISPLAY, or a virtual
# one (Xvfb) started here when there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/xvfb.sh

bash scripts/install-deps.sh

# The tree stays as the project's .clang-format leaves it.
bash scripts/check-format.sh

presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then
  presets=(default asan)
fi

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
fi
# Every other widget test runs offscreen; the screen tests ask for xcb.
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc 2>/dev/null || echo 2)

for preset in "${presets[@]}"; do
  echo "== preset ${preset}"
  cmake --preset "${preset}"
  cmake --build --preset "${preset}" -j "${jobs}"
  # A test that fails is run once more before the suite fails: whole runs of
  # child processes on two loaded cores have shown a rare failure that no rerun
  # reproduced. Its first failure stays in the output to be looked into.
  ctest --preset "${preset}" -j "${jobs}" --repeat until-pass:2
done
