#!/usr/bin/env bash
# Installs what is missing and builds every Windows program into the build folder.
#   scripts/build.sh [extra targets...]     (build folder: ./build, or $TAMRIX_BUILD_DIR)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAMRIX_BUILD_DIR:-$top/build}

prefix=$("$top/scripts/deps.sh")
cmake -S "$top" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
    -DTAMRIX_DEPS_PREFIX="$prefix" >/dev/null
cmake --build "$build" -j "$(nproc)"
# The vendor double of the test world is a native program, built with the host compiler.
TAMRIX_BUILD_DIR=$build "$top/scripts/native.sh"
for target in "$@"; do
    cmake --build "$build" -j "$(nproc)" --target "$target"
done
