#!/usr/bin/env bash
# Inside the world (scripts/demo.sh starts it): one downloader run under the default file name,
# then a report of the requests, events, files and programs it left behind.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$TAMRIX_BUILD_DIR
run_dir=$TAMRIX_WORLD_DIR/demo
mkdir -p "$run_dir"
cp "$build/tests/support/engine_driver_peer.exe" "$run_dir/TamrixInstaller.exe"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The folder the "user" picks in the main window; the run stays inside the world folder.
export TAMRIX_DRIVER_FOLDER
TAMRIX_DRIVER_FOLDER=$(windows_path "$run_dir/Emulator")

echo "== running TamrixInstaller.exe (default file name) in the isolated world"
set +e
(cd "$run_dir" && "$top/scripts/wine-exec.sh" "$WINEPREFIX" "$run_dir/TamrixInstaller.exe")
code=$?
set -e
echo "== the run ended with exit code $code (0: installed and started)"
# Let the double finish writing the records of the last requests.
sleep 1
python3 "$top/scripts/demo_report.py" "$TAMRIX_WORLD_DIR" "$run_dir" "$WINEPREFIX"
reg_out=$("$top/scripts/wine-exec.sh" "$WINEPREFIX" reg query 'HKCU\Software\Vorlund\Tamrix9' \
    /v InstallDir 2>/dev/null | tr -d '\r' | grep InstallDir || true)
echo "== registry: HKCU\\Software\\Vorlund\\Tamrix9 ${reg_out:-(no InstallDir)}"
exit "$code"
