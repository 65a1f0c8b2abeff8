#!/usr/bin/env bash
# The installer's main job on this machine, end to end on the local doubles: builds everything,
# then runs the real installer window (lookups, package download, offline installer, first-run
# setup, emulator start) inside the isolated world and shows what happened.
#   scripts/demo.sh            (build folder: ./build, or $TAMRIX_BUILD_DIR)
#
# With a local X display ($DISPLAY such as ":0") the window appears on it and the user clicks
# through it. Without one (CI, SSH) the default run is driven as the tests drive it, on the
# world's own display, and the screenshots of its stages are kept.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TAMRIX_BUILD_DIR=${TAMRIX_BUILD_DIR:-$top/build}

"$top/scripts/build.sh"
case "${DISPLAY:-}" in
    :*)
        export TAMRIX_WORLD_DISPLAY=$DISPLAY TAMRIX_DEMO_MODE=person
        ;;
    *)
        export TAMRIX_DEMO_MODE=driven
        ;;
esac
exec "$top/scripts/world.sh" "$top/scripts/demo_run.sh"
