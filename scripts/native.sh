#!/usr/bin/env bash
# Builds the test world's native programs (the vendor double and its own tests, a project of its
# own in tools/vendor_double) with the host compiler into <build>/native, or brings them up to
# date. Worlds starting at once share its lock.
#   scripts/native.sh [--test]     (build folder: ./build, or $TAMRIX_BUILD_DIR)
# With --test, runs the double's own tests afterwards and passes on their exit code.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAMRIX_BUILD_DIR:-$top/build}
native=$build/native
mkdir -p "$build/world"

(
    flock 9
    if [ ! -f "$native/build.ninja" ]; then
        cmake -S "$top/tools/vendor_double" -B "$native" -G Ninja >/dev/null
    fi
    if ! output=$(cmake --build "$native" -j "$(nproc)" 2>&1); then
        printf '%s\n' "$output" >&2
        exit 1
    fi
) 9>"$build/world/native.lock"

if [ "${1:-}" = --test ]; then
    exec "$native/vendor_double_tests"
fi
