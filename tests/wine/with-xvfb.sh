#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb of its own when one can be started, so that
# Windows programs under Wine can open windows and OpenGL contexts. Without Xvfb the command runs
# as it is, and its window tests skip.
# With WINEPREFIX set, the prefix's Wine processes are waited for before the display goes, so
# that none of them lingers connected to a display that no longer exists.
# Usage: [WINEPREFIX=DIR] with-xvfb.sh COMMAND [ARGS...]
set -u
xvfb_pid=
if command -v Xvfb >/dev/null 2>&1; then
    for n in $(seq 121 160); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            for _ in $(seq 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                sleep 0.1
            done
            export DISPLAY=:$n
            break
        fi
    done
fi
timeout 300 "$@"
status=$?
if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null 2>&1; then
    timeout 30 wineserver -w
fi
if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
fi
exit $status
