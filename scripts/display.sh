# Sourced by the scripts that run windows: provides an X display for Wine.
# start_display keeps an existing DISPLAY; otherwise it starts Xvfb on a free display number.
_tamrix_xvfb_pid=

start_display() {
    if [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        _tamrix_xvfb_pid=$!
        local i
        for i in $(seq 1 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$_tamrix_xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$_tamrix_xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
    done
    echo "no X display could be started" >&2
    return 1
}

stop_display() {
    if [ -n "$_tamrix_xvfb_pid" ]; then
        kill "$_tamrix_xvfb_pid" 2>/dev/null || true
        wait "$_tamrix_xvfb_pid" 2>/dev/null || true
        _tamrix_xvfb_pid=
    fi
}
