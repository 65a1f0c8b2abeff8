# Sourced by deps.sh: the Debian packages the build, the tests and the local world need.
# Needs say() and as_root() from the caller.

packages=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev mingw-w64-tools
    wine wine64 xvfb xauth x11-utils
    7zip rapidjson-dev googletest
    cmake ninja-build make dpkg-dev xz-utils
    fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-roboto-unhinted fonts-nanum fonts-inter
    xdotool librsvg2-bin python3-fonttools
    g++ libcpp-httplib-dev libssl-dev openssl iproute2 util-linux curl python3 libgtest-dev pkgconf
    osslsigncode tinyproxy
)

install_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    as_root apt-get update -qq >&2
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
}

