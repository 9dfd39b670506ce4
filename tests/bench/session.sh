# The display of an editor benchmark and its clean-up. Source it once `root`, `work`, `tool_pid`
# and `uses_wine` are set: it starts a private Xvfb (XVFB_SCREEN as the caller exported it) or
# ends the script, and on exit stops the tool still measured, the Wine server when Wine was used,
# and the display.
. "$root/scripts/xvfb.sh"
cleanup() {
    if [ -n "$tool_pid" ]; then
        kill "$tool_pid" 2>/dev/null
        wait "$tool_pid" 2>/dev/null
        tool_pid=
    fi
    if [ -n "$uses_wine" ]; then
        timeout 10 wineserver -k 2>/dev/null
    fi
    xvfb_stop
}
trap cleanup EXIT

if ! xvfb_start "$work/xvfb.log"; then
    exit 1
fi
