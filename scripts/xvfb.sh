# A private virtual X display for the scripts and tests that open windows. Source this file, then:
#   xvfb_start [LOG]  starts Xvfb and exports DISPLAY once the server answers (status 0); when it
#                     cannot be started, says so on stderr, leaves DISPLAY unset and answers 1
#   xvfb_stop         ends the server xvfb_start started
# XVFB_EXTRA_ARGS, when set, is added to the server's arguments (e.g. "-extension GLX");
# XVFB_SCREEN sets the screen's size and depth (default 1280x1024x24).
xvfb_pid=

xvfb_stop() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=
    fi
    return 0
}

xvfb_start() {
    local log=${1:-/dev/null} numberfile number=
    unset DISPLAY
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "xvfb: Xvfb is not installed (Debian package xvfb)" >&2
        return 1
    fi
    numberfile=$(mktemp)
    # The server picks a free display number itself and writes it once it accepts clients, so
    # that tests started side by side never race for one. Without -noreset it would reset each
    # time its last client leaves, and a program connecting during that reset (the next step of
    # a test, after the one before closed its window) would find no server answering.
    Xvfb -displayfd 3 -noreset -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp ${XVFB_EXTRA_ARGS:-} 3>"$numberfile" >"$log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        number=$(head -n 1 "$numberfile" 2>/dev/null)
        if [ -n "$number" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    rm -f "$numberfile"
    if [ -n "$number" ] && DISPLAY=":$number" timeout 5 xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=":$number"
        return 0
    fi
    echo "xvfb: the virtual X display did not come up${1:+ (see $1)}" >&2
    xvfb_stop
    return 1
}
