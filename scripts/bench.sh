#!/usr/bin/env bash
# Builds the benchmarks and runs each under Wine; they print their own figures.
#   scripts/bench.sh [name...]      (default: every bench/*_bench.cpp)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAMRIX_BUILD_DIR:-$top/build}

"$top/scripts/build.sh" tamrix_benchmarks

. "$top/scripts/display.sh"
start_display
trap 'stop_display' EXIT

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for source in "$top"/bench/*_bench.cpp; do names+=("$(basename "$source" .cpp)"); done
fi
# Benchmarks that talk to the vendor's hosts run inside an isolated world of their own.
world_benches=" download_bench telemetry_bench road_bench installer_bench soak_bench leak_bench proxy_bench quit_bench "
for name in "${names[@]}"; do
    echo "== $name"
    if [[ "$world_benches" == *" $name "* ]]; then
        TAMRIX_BUILD_DIR=$build "$top/scripts/world.sh" \
            "$top/scripts/wine-exec.sh" "$build/wineprefix" "$build/bench/$name.exe"
    else
        "$top/scripts/wine-exec.sh" "$build/wineprefix" "$build/bench/$name.exe"
    fi
done
