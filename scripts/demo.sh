#!/usr/bin/env bash
# The installer's main job on this machine: builds it, runs it under Wine and shows what it did.
#   scripts/demo.sh            (build folder: ./build, or $TAMRIX_BUILD_DIR)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAMRIX_BUILD_DIR:-$top/build}

"$top/scripts/build.sh"

. "$top/scripts/display.sh"
start_display
trap 'stop_display' EXIT
export WINEPREFIX=$build/wineprefix

log_dir=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/txdownloader_en
before=0
[ -f "$log_dir/downloader.log" ] && before=$(stat -c %s "$log_dir/downloader.log")

echo "== running TamrixInstaller.exe under Wine"
set +e
"$top/scripts/wine-exec.sh" "$WINEPREFIX" "$build/app/TamrixInstaller.exe"
code=$?
set -e
echo "== exit code: $code"
echo "== new lines of $log_dir/downloader.log"
tail -c +"$((before + 1))" "$log_dir/downloader.log" 2>/dev/null | tr -d '\r' || echo "(no log written)"
exit "$code"
