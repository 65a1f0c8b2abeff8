#!/usr/bin/env bash
# Runs a command inside the isolated world and returns its exit code:
#   scripts/world.sh COMMAND [ARGS...]
#
# The world is a user, network, mount and PID namespace with only a loopback device. In it:
# - /etc/hosts maps every host name of the deployment table to 127.0.0.1;
# - the world's own CA is appended to the CA bundle that Wine's crypt32 (Schannel, WinINet)
#   reads, so the vendor certificate is trusted and nothing else changes;
# - the vendor double (tools/vendor_double) serves HTTPS on 443 and plain HTTP on 80;
# - /tmp is private, an own Xvfb display runs, and Wine uses a fresh copy of a template prefix
#   with its own Wine server, so worlds running at once share nothing;
# - the prefix reports Windows 10 (programs that need another version set it for themselves under
#   HKCU\Software\Wine\AppDefaults\<exe>\Version), and the user's desktop shell runs: the
#   shell stand-in as C:\windows\explorer.exe, started before COMMAND.
# COMMAND sees TAMRIX_WORLD_DIR (scenario.json, requests.jsonl, tls.jsonl, standins/, double.log),
# WINEPREFIX and DISPLAY. Windows programs started through scripts/wine-exec.sh use the world's
# prefix whatever prefix they name. Nothing outside this machine is contacted.
#
# Environment:
#   TAMRIX_BUILD_DIR   build folder (default ./build); the world's state lives in <build>/world
#   TAMRIX_WORLD_DISPLAY  a local X display (":0") that the world's windows appear on instead of
#                      its own Xvfb (XAUTHORITY is kept for it)
#   TAMRIX_WORLD_KEEP  1: keep the world folder (and the prefix copy) after the run; without it
#                      the folder is removed after success and its records kept after a failure
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAMRIX_BUILD_DIR:-$top/build}
build=$(mkdir -p "$build" && cd "$build" && pwd)
state=$build/world
native=$build/native
double=$native/vendor_double
standin=$build/tools/standins/standin_installer.exe
shell_standin=$build/tools/standins/explorer.exe
export PATH=$PATH:/usr/sbin:/sbin

say() { printf 'world: %s\n' "$*" >&2; }

# ---------------------------------------------------------------------------------------------
# Inside the namespaces (second stage of this script).
# ---------------------------------------------------------------------------------------------

# A private /tmp that still shows the source tree, the build folder and the working folder when
# they lie in /tmp (a checkout in /tmp/x): their top folders are carried over into it.
private_tmp() { # root
    local path name
    local -A carried=()
    for path in "$top" "$build" "$PWD"; do
        case "$path" in
            /tmp/*)
                name=${path#/tmp/}
                name=${name%%/*}
                [ -n "${carried[$name]:-}" ] && continue
                carried[$name]=1
                mkdir -p "$1/tmp/$name"
                mount --bind "/tmp/$name" "$1/tmp/$name"
                ;;
        esac
    done
    # The user's own X display (TAMRIX_WORLD_DISPLAY), reached through its socket.
    if [ -n "${TAMRIX_WORLD_DISPLAY:-}" ] && [ -d /tmp/.X11-unix ]; then
        mkdir -p "$1/tmp/.X11-unix"
        mount --bind /tmp/.X11-unix "$1/tmp/.X11-unix"
    fi
    mount --rbind "$1/tmp" /tmp
}

# Drive D: of the world's prefix: a second fixed disk with room for anything (a 4 TiB tmpfs that
# uses only what is written to it), so that the drive with the most free space, where an
# installer proposes to install, lies inside the world. Its volume device links to a file the
# world cannot open for writing, as Wine cannot open the one of Z: (the host's root): the drive
# probes then keep it as they keep Z:, instead of leaving it out as they leave out C:.
second_disk() { # root
    local disk=$1/disk-d
    mkdir -p "$disk"
    if ! mount -t tmpfs -o size=4T,mode=0755 tamrix-disk-d "$disk" 2>/dev/null; then
        say "warning: no drive D: (tmpfs could not be mounted)"
        return 0
    fi
    ln -sfn "$disk" "$1/prefix/dosdevices/d:"
    ln -sfn /sys/kernel/uevent_seqnum "$1/prefix/dosdevices/d::"
}

inside() {
    local root=$TAMRIX_WORLD_ROOT
    local world=$root/world
    ip link set dev lo up
    mount --bind "$root/hosts" /etc/hosts
    if [ -f /etc/ssl/certs/ca-certificates.crt ]; then
        mount --bind "$root/ca-bundle.crt" /etc/ssl/certs/ca-certificates.crt
    fi
    private_tmp "$root"
    second_disk "$root"

    double_pid='' xvfb_pid=''  # global: the EXIT trap runs after this function has returned
    cleanup() {
        wineserver -k 2>/dev/null || true
        if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
        if [ -n "$double_pid" ]; then kill "$double_pid" 2>/dev/null || true; fi
        wait 2>/dev/null || true
    }
    trap cleanup EXIT

    # The double and Xvfb report readiness through FIFOs; opened read-write so that a reader
    # never blocks on a writer that died.
    mkfifo "$root/double.ready" "$root/display.ready"
    exec {double_fd}<>"$root/double.ready" {display_fd}<>"$root/display.ready"

    "$double" --world "$world" --standin "$standin" \
        --cert "$state/certs/vendor.pem" --key "$state/certs/vendor.key" \
        --wrong-cert "$state/certs/wrong-host.pem" --wrong-key "$state/certs/wrong-host.key" \
        --signing "$state/certs/signing" --package-cache "$state/packages" \
        --ready "$root/double.ready" 2>>"$world/double.log" &
    double_pid=$!
    if [ -z "${TAMRIX_WORLD_DISPLAY:-}" ]; then
        Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
    fi

    local line='' display=''
    if ! read -r -t 15 -u "$double_fd" line; then
        say "the vendor double did not start; its log:"
        cat "$world/double.log" >&2
        return 70
    fi
    if [ -n "${TAMRIX_WORLD_DISPLAY:-}" ]; then
        display=${TAMRIX_WORLD_DISPLAY#:}
    elif ! read -r -t 15 -u "$display_fd" display; then
        say "Xvfb did not start"
        return 70
    fi

    export DISPLAY=:$display
    export TAMRIX_WORLD_DIR=$world
    export WINEPREFIX=$root/prefix
    export TAMRIX_WORLD_WINEPREFIX=$root/prefix
    export WINEARCH=win64
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko dialogs, and no menu entries written into the host's home.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}
    export HOME=$root/home

    # The signed-in user's desktop shell, as every session has one; it records its run when up.
    if [ -f "$shell_standin" ]; then
        wine 'C:\windows\explorer.exe' >/dev/null 2>&1 &
        local i
        for i in $(seq 1 300); do
            [ -s "$world/standins/shell.jsonl" ] && break
            sleep 0.1
        done
        if [ ! -s "$world/standins/shell.jsonl" ]; then
            say "the desktop shell did not start"
            return 70
        fi
    fi

    set +e
    "$@"
    local code=$?
    set -e
    return "$code"
}

if [ "${TAMRIX_WORLD_STAGE:-}" = inside ]; then
    unset TAMRIX_WORLD_STAGE
    inside "$@"
    exit $?
fi

# ---------------------------------------------------------------------------------------------
# Outside: the shared pieces, made once per build folder under a lock.
# ---------------------------------------------------------------------------------------------
if [ $# -eq 0 ]; then
    echo "usage: scripts/world.sh COMMAND [ARGS...]" >&2
    exit 2
fi
mkdir -p "$state/worlds"

# The double, built or brought up to date (a no-op when it is), so that a build of only some
# targets never runs a stale double.
ensure_double() {
    TAMRIX_BUILD_DIR=$build "$top/scripts/native.sh"
}

# CA, one certificate for every vendor name, and one for a name no vendor host has; the
# code-signing certificates the double signs the installer packages with: the vendor's (its
# deployment name, from the world's CA), another signer's (same CA), the vendor's name from a CA
# the world does not trust (the chain includes that CA) and from one nobody has (no issuer).
# Remade when the host list or the signer name changes; the CA stays.
ensure_certs() {
    (
        flock 9
        local dir=$state/certs hosts stamp
        hosts=$("$double" --print-hosts)
        signer=$("$double" --print-signer)
        stamp=$(printf '%s\n' "$hosts" "code: $signer" | sha256sum | cut -c1-16)
        [ -f "$dir/ready-$stamp" ] && exit 0
        say "making the world's certificates"
        mkdir -p "$dir"
        rm -f "$dir"/ready-*
        local cnf=$dir/openssl.cnf san
        san=$(printf '%s\n' "$hosts" | sed 's/^/DNS:/' | paste -sd, -)
        cat >"$cnf" <<EOF
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[vendor]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $san
authorityKeyIdentifier = keyid
[code]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[wrong]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong-host.invalid
authorityKeyIdentifier = keyid
EOF
        if [ ! -f "$dir/ca.pem" ]; then
            openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -config "$cnf" \
                -extensions ca -subj "/O=Tamrix World/CN=Tamrix World Test CA" \
                -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
        fi
        issue() { # extension common-name output-name [ca-name]
            local ca=${4:-ca}
            openssl req -new -newkey rsa:2048 -nodes -config "$cnf" -subj "/O=Tamrix World/CN=$2" \
                -keyout "$dir/$3.key" -out "$dir/$3.csr" 2>/dev/null
            openssl x509 -req -sha256 -days 825 -in "$dir/$3.csr" -CA "$dir/$ca.pem" \
                -CAkey "$dir/$ca.key" -set_serial "0x$(openssl rand -hex 8)" -extfile "$cnf" \
                -extensions "$1" -out "$dir/$3.pem" 2>/dev/null
            rm -f "$dir/$3.csr"
        }
        other_ca() { # name common-name
            openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -config "$cnf" \
                -extensions ca -subj "/O=Tamrix World/CN=$2" \
                -keyout "$dir/$1.key" -out "$dir/$1.pem" 2>/dev/null
        }
        issue vendor "Tamrix World vendor hosts" vendor
        issue wrong wrong-host.invalid wrong-host
        mkdir -p "$dir/signing"
        issue code "$signer" signing/code-vendor
        issue code "Tamrix World other signer" signing/code-other
        other_ca unknown-ca "Tamrix World unknown CA"
        issue code "$signer" signing/code-unknown-ca unknown-ca
        cat "$dir/unknown-ca.pem" >>"$dir/signing/code-unknown-ca.pem"
        other_ca vanished-ca "Tamrix World vanished CA"
        issue code "$signer" signing/code-no-issuer vanished-ca
        rm -f "$dir/vanished-ca.key" "$dir/vanished-ca.pem"
        touch "$dir/ready-$stamp"
    ) 9>"$state/certs.lock"
}

# A Wine prefix made once; every world runs on a copy of it. Its user folders are real folders,
# not links into the host's home, so that desktop shortcuts stay inside the world; a crashing
# program ends without a crash dialog; it reports Windows 10, as the users' systems do. The ready
# mark names the recipe, so that a template made by an older one is made again.
template_recipe="3: folders, no crash dialog, windows 10"
ensure_template() {
    local template=$state/template
    [ "$(cat "$template/.tamrix-ready" 2>/dev/null)" = "$template_recipe" ] && return 0
    (
        flock 9
        [ "$(cat "$template/.tamrix-ready" 2>/dev/null)" = "$template_recipe" ] && exit 0
        say "making the template Wine prefix"
        rm -rf "$template" "$state/template-home"
        mkdir -p "$state/template-home"
        # Made as the same user the worlds run as (root of a user namespace), so that Wine finds
        # its own profile folder in every copy.
        WINEPREFIX=$template WINEARCH=win64 WINEDEBUG=-all HOME=$state/template-home \
            WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe=' \
            unshare --user --map-root-user bash -c '
                run() { if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi; }
                run wineboot -i >/dev/null 2>&1
                run wine reg add "HKCU\Software\Wine\WineDbg" /v ShowCrashDialog /t REG_DWORD \
                    /d 0 /f >/dev/null 2>&1
                run wine reg add "HKCU\Software\Wine" /v Version /t REG_SZ /d win10 /f \
                    >/dev/null 2>&1
                "$0" "$WINEPREFIX"
                wineserver -w' "$top/scripts/wine-fonts.sh"
        local link
        for link in "$template"/drive_c/users/*/*; do
            if [ -L "$link" ]; then
                rm "$link"
                mkdir -p "$link"
            fi
        done
        printf '%s' "$template_recipe" >"$template/.tamrix-ready"
    ) 9>"$state/template.lock"
}

# Worlds whose script was killed (a ctest time-out) lose their prefix copy and private /tmp;
# their records stay for a look.
sweep_worlds() {
    local dir owner
    for dir in "$state"/worlds/w.*; do
        [ -f "$dir/owner" ] || continue
        owner=$(cat "$dir/owner")
        kill -0 "$owner" 2>/dev/null && continue
        rm -rf "$dir/prefix" "$dir/tmp" "$dir/owner"
    done
}

sweep_worlds
ensure_double
ensure_certs
ensure_template
[ -f "$standin" ] || say "warning: $standin is not built; the packages answer 404"

root=$(mktemp -d "$state/worlds/w.XXXXXX")
if [ -n "${TAMRIX_WORLD_DISPLAY:-}" ]; then
    cookie=${XAUTHORITY:-$HOME/.Xauthority}
    if [ -f "$cookie" ]; then
        cp "$cookie" "$root/xauthority"
        export XAUTHORITY=$root/xauthority
    fi
fi
mkdir -p "$root/tmp" "$root/world/standins" "$root/home"
echo $$ >"$root/owner"
chmod 1777 "$root/tmp"
: >"$root/world/requests.jsonl"
: >"$root/world/tls.jsonl"
{
    echo "127.0.0.1 localhost"
    echo "::1 localhost"
    "$double" --print-hosts | sed 's/^/127.0.0.1 /'
} >"$root/hosts"
{
    [ -f /etc/ssl/certs/ca-certificates.crt ] && cat /etc/ssl/certs/ca-certificates.crt
    cat "$state/certs/ca.pem"
} >"$root/ca-bundle.crt"
cp -a "$state/template" "$root/prefix"
# The shell stand-in takes the place of Wine's explorer.exe in the Windows folder (Wine's own
# desktop runs from system32).
if [ -f "$shell_standin" ]; then
    cp "$shell_standin" "$root/prefix/drive_c/windows/explorer.exe"
else
    say "warning: $shell_standin is not built; the world has no desktop shell"
fi

set +e
TAMRIX_WORLD_STAGE=inside TAMRIX_WORLD_ROOT=$root \
    unshare --user --map-root-user --net --mount --pid --fork --mount-proc --kill-child \
    "$BASH" "$0" "$@"
code=$?
set -e

if [ "${TAMRIX_WORLD_KEEP:-}" = 1 ]; then
    say "kept $root"
elif [ "$code" -eq 0 ]; then
    rm -rf "$root"
else
    rm -rf "$root/prefix" "$root/tmp" "$root/owner"
    say "exit code $code; records kept in $root/world"
fi
exit "$code"
