# The Wine prefix of a script or test. Source this file, then call wine_prefix_ready: it exports
# WINEPREFIX (default build/wineprefix), WINEDEBUG (-all) and WINEDLLOVERRIDES (no Mono, no Gecko)
# unless they are set, and makes the prefix on first use, with the Tahoma fonts the editor's
# read-out needs. A prefix that cannot be made is left for wine itself to report.
wine_prefix_ready() {
    local root fonts
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
    export WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        timeout 300 wineboot --init >/dev/null 2>&1 || true
        timeout 60 wineserver -w || true
    fi
    fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    cp -n /usr/share/wine/fonts/tahoma*.ttf "$fonts/" 2>/dev/null || true
}
