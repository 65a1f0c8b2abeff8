#!/usr/bin/env bash
# The installer's main job on this machine, end to end on the local doubles: builds everything,
# then runs a whole downloader run (lookups, package download, offline installer, first-run
# setup, emulator start) inside the isolated world and shows what happened.
#   scripts/demo.sh            (build folder: ./build, or $TAMRIX_BUILD_DIR)
#
# Until the main window exists the run is driven by the engine driver of the tests, under the
# installer's default file name, the way the window's buttons will drive it.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TAMRIX_BUILD_DIR=${TAMRIX_BUILD_DIR:-$top/build}

"$top/scripts/build.sh"
exec "$top/scripts/world.sh" "$top/scripts/demo_road.sh"
