#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix, creating the prefix on first use.
#   wine-exec.sh WINEPREFIX PROGRAM.exe [ARGS...]
# The program's exit code is passed on. Without a DISPLAY an Xvfb server is started for it.
set -euo pipefail

# Inside the isolated world (scripts/world.sh) every program runs in the world's own prefix.
export WINEPREFIX=${TAMRIX_WORLD_WINEPREFIX:-$1}
shift
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs: the programs need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$WINEPREFIX" "$@"
fi

if [ ! -f "$WINEPREFIX/.tamrix-ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.tamrix-ready" ]; then
            wineboot -i >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.tamrix-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi
"$(dirname "$0")/wine-fonts.sh" "$WINEPREFIX"

exec wine "$@"
