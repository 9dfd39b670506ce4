#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb of its own, so that Windows programs under
# Wine can open windows and OpenGL contexts. When no display can be started the command runs
# without DISPLAY, and its window tests skip.
# With WINEPREFIX set, the prefix's Wine processes are waited for before the display goes, so
# that none of them lingers connected to a display that no longer exists.
# Usage: [WINEPREFIX=DIR] with-xvfb.sh COMMAND [ARGS...]
set -u
. "$(dirname "$0")/../../scripts/xvfb.sh"
xvfb_start || echo "with-xvfb: running without a display; window tests skip" >&2
timeout 300 "$@"
status=$?
if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null 2>&1; then
    timeout 30 wineserver -w
fi
xvfb_stop
exit $status
