#!/usr/bin/env bash
# Installs the Debian packages the build needs and builds the Windows (MinGW) libraries from
# Debian source packages into a cached prefix outside the source tree.
#
# Prints the prefix on standard output (its only output there); progress goes to standard error.
# A second run with the same package versions finds the prefix complete and does nothing.
#
# Environment:
#   TAMRIX_DEPS_CACHE  folder that holds the prefixes (default: ~/.cache/tamrix-deps)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/.." && pwd)
cache=${TAMRIX_DEPS_CACHE:-$HOME/.cache/tamrix-deps}
toolchain=$top/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

say() { printf 'deps: %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The package list lives apart so that adding a package does not rebuild the libraries.
source "$here/packages.sh"

# apt-get source needs deb-src entries; add them for the archives the machine already uses.
ensure_deb_src() {
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        apt-cache showsrc pugixml >/dev/null 2>&1 && return 0
    else
        say "adding deb-src entries"
        local out=/etc/apt/sources.list.d/tamrix-deb-src.sources
        local tmp
        tmp=$(mktemp)
        {
            for f in /etc/apt/sources.list.d/*.sources; do
                [ -f "$f" ] && awk 'BEGIN{RS="";ORS="\n\n"} /(^|\n)Types:[^\n]*deb/ && /deb\.debian\.org|debian/ {
                    sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
            done
            if [ -f /etc/apt/sources.list ]; then
                sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list
            fi
        } >"$tmp"
        as_root install -m 644 "$tmp" "$out"
        rm -f "$tmp"
    fi
    as_root apt-get update -qq >&2
}

# Highest version of a source package that apt knows.
source_version() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' |
        sort -V | tail -n 1
}

fetch_source() { # package dest
    local work
    work=$(mktemp -d)
    (cd "$work" && apt-get source --download-only -qq "$1=$2" >&2 2>&1 || apt-get source --download-only -qq "$1" >&2)
    (cd "$work" && dpkg-source --no-check -x ./*.dsc src >/dev/null 2>&1)
    rm -rf "$3"
    mv "$work/src" "$3"
    rm -rf "$work"
}

build_curl() { # prefix
    local src=$1/src/curl
    fetch_source curl "$curl_version" "$src"
    cmake -S "$src" -B "$1/build/curl" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$1" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
        -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_ZLIB=OFF \
        -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DENABLE_UNICODE=OFF -DCURL_DISABLE_LDAP=ON >&2
    cmake --build "$1/build/curl" -j "$jobs" >&2
    cmake --install "$1/build/curl" >&2
}

build_pugixml() { # prefix
    local src=$1/src/pugixml
    fetch_source pugixml "$pugixml_version" "$src"
    cmake -S "$src" -B "$1/build/pugixml" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$1" -DBUILD_SHARED_LIBS=OFF \
        -DPUGIXML_BUILD_TESTS=OFF -DPUGIXML_WCHAR_MODE=OFF >&2
    cmake --build "$1/build/pugixml" -j "$jobs" >&2
    cmake --install "$1/build/pugixml" >&2
}

# The 7-Zip source's C folder is the LZMA SDK; only the 7z decoder is built from it.
build_lzma_sdk() { # prefix
    local src=$1/src/7zip
    fetch_source 7zip "$sevenzip_version" "$src"
    local proj=$1/build/lzma-sdk-project
    mkdir -p "$proj"
    cat >"$proj/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(lzma_sdk C)
set(C_DIR "$src/C")
add_library(lzmasdk STATIC
  \${C_DIR}/7zAlloc.c \${C_DIR}/7zArcIn.c \${C_DIR}/7zBuf.c \${C_DIR}/7zBuf2.c
  \${C_DIR}/7zCrc.c \${C_DIR}/7zCrcOpt.c \${C_DIR}/7zDec.c \${C_DIR}/7zStream.c
  \${C_DIR}/Bcj2.c \${C_DIR}/Bra.c \${C_DIR}/Bra86.c \${C_DIR}/BraIA64.c \${C_DIR}/CpuArch.c
  \${C_DIR}/Delta.c \${C_DIR}/Lzma2Dec.c \${C_DIR}/LzmaDec.c \${C_DIR}/Ppmd7.c \${C_DIR}/Ppmd7Dec.c)
target_compile_definitions(lzmasdk PRIVATE Z7_PPMD_SUPPORT Z7_EXTRACT_ONLY)
install(TARGETS lzmasdk ARCHIVE DESTINATION lib)
install(DIRECTORY \${C_DIR}/ DESTINATION include/lzma-sdk FILES_MATCHING PATTERN "*.h" PATTERN "Util" EXCLUDE)
EOF
    cmake -S "$proj" -B "$1/build/lzma-sdk" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$1" >&2
    cmake --build "$1/build/lzma-sdk" -j "$jobs" >&2
    cmake --install "$1/build/lzma-sdk" >&2
}

build_googletest() { # prefix
    cmake -S /usr/src/googletest -B "$1/build/googletest" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$1" -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF >&2
    cmake --build "$1/build/googletest" -j "$jobs" >&2
    cmake --install "$1/build/googletest" >&2
}

main() {
    install_packages
    ensure_deb_src

    curl_version=$(source_version curl)
    pugixml_version=$(source_version pugixml)
    sevenzip_version=$(source_version 7zip)
    local gtest_version mingw_version recipe
    gtest_version=$(dpkg-query -W -f='${Version}' googletest)
    mingw_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
    recipe=$(cat "$0" "$toolchain" | sha256sum | cut -c1-12)  # content only, not where the checkout is
    for v in curl_version pugixml_version sevenzip_version; do
        [ -n "${!v}" ] || { say "no version known for ${v%_version}"; exit 1; }
    done

    local key
    key=$(printf '%s\n' "$curl_version" "$pugixml_version" "$sevenzip_version" \
        "$gtest_version" "$mingw_version" "$recipe" | sha256sum | cut -c1-16)
    local prefix=$cache/$key
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        return 0
    fi

    say "building the Windows libraries into $prefix"
    rm -rf "$prefix"
    mkdir -p "$prefix/src" "$prefix/build"
    build_googletest "$prefix"
    build_pugixml "$prefix"
    build_lzma_sdk "$prefix"
    build_curl "$prefix"
    rm -rf "$prefix/build"
    printf 'curl %s\npugixml %s\n7zip %s\ngoogletest %s\nmingw %s\n' "$curl_version" \
        "$pugixml_version" "$sevenzip_version" "$gtest_version" "$mingw_version" >"$prefix/.complete"
    echo "$prefix"
}

main "$@"
