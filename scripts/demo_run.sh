#!/usr/bin/env bash
# Inside the world (scripts/demo.sh starts it): one run of the real installer window under its
# default file name, then a report of the requests, events, files and programs it left behind.
#   TAMRIX_DEMO_MODE=person   the window is on the user's display; the user clicks through it
#   TAMRIX_DEMO_MODE=driven   the default run is driven as the tests drive it (accessibility and
#                             xdotool on the world's Xvfb), with a screenshot of each stage
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$TAMRIX_BUILD_DIR
# The world's drive D:, where the installer proposes to install.
disk=$(dirname "$TAMRIX_WORLD_DIR")/disk-d
wine_exec() { "$top/scripts/wine-exec.sh" "$WINEPREFIX" "$@"; }

set +e
if [ "${TAMRIX_DEMO_MODE:-driven}" = person ]; then
    run_dir=$TAMRIX_WORLD_DIR/demo
    mkdir -p "$run_dir"
    cp "$build/app/TamrixInstaller.exe" "$run_dir/TamrixInstaller.exe"
    # Windows 10 for the installer, and the recording browser as the default browser.
    wine_exec reg add 'HKCU\Software\Wine\AppDefaults\TamrixInstaller.exe' /v Version /d win10 \
        /f >/dev/null 2>&1
    wine_exec reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d \
        "$top/tools/standins/browser.sh" /f >/dev/null 2>&1
    echo "== TamrixInstaller.exe is on your display ($DISPLAY): click through it"
    (cd "$run_dir" && wine_exec "$run_dir/TamrixInstaller.exe")
    code=$?
    echo "== the installer ended with exit code $code"
else
    echo "== no local display: TamrixInstaller.exe runs on the world's own display, and the"
    echo "   default run is driven as the tests drive it (its controls found through"
    echo "   accessibility, clicked with xdotool)"
    wine_exec "$build/tests/app_installer_run_world_test.exe" --gtest_brief=1 \
        --gtest_filter=InstallerRun.TheDefaultRunFromTheStartPageToTheEmulator
    code=$?
    echo "== the driven run ended with $([ "$code" = 0 ] && echo success || echo "failure ($code)")"
    echo "== screenshots of each stage: $build/tests/screens/default-*.png"
fi
set -e
# Let the double finish writing the records of the last requests.
sleep 1
python3 "$top/scripts/demo_report.py" "$TAMRIX_WORLD_DIR" "$disk" "$WINEPREFIX"
reg_out=$(wine_exec reg query 'HKCU\Software\Vorlund\Tamrix9' /v InstallDir 2>/dev/null |
    tr -d '\r' | grep InstallDir || true)
echo "== registry: HKCU\\Software\\Vorlund\\Tamrix9 ${reg_out:-(no InstallDir)}"
exit "$code"
