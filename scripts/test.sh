#!/usr/bin/env bash
# Installs what is missing, builds everything for Windows and runs every test under Wine.
#   scripts/test.sh            (build folder: ./build, or $TAMRIX_BUILD_DIR)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAMRIX_BUILD_DIR:-$top/build}

"$top/scripts/build.sh"

. "$top/scripts/display.sh"
start_display
export WINEPREFIX=$build/wineprefix
# Creates the prefix once, then keeps one Wine server for the whole run.
"$top/scripts/wine-exec.sh" "$WINEPREFIX" cmd /c exit 0 >/dev/null 2>&1 || true
wineserver -p 30 || true
trap 'wineserver -k 2>/dev/null || true; stop_display' EXIT

ctest --test-dir "$build" --output-on-failure -j 2
