#!/bin/sh
# Fixture of the Windows tests: makes the Wine prefix (WINEPREFIX, inside the
# build tree, kept between runs) on first use and starts one wine server that
# outlives each program, so that a start costs a tenth of a second instead of
# more than two. The server ends itself a minute after the last program.
set -e
mkdir -p "$WINEPREFIX" "$HOME"
wineserver -p60 2>/dev/null || true   # 2: one is running for this prefix already
# Also brings up Wine's own background programs, which live as long as the
# server: started by a test instead, they would hold its output open.
wineboot </dev/null >/dev/null 2>&1
[ -d "$WINEPREFIX/drive_c" ] || { echo "wine_setup: no Wine prefix in $WINEPREFIX"; exit 1; }
