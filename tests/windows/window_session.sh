#!/bin/sh
# The Windows windows under Wine on a private X server: window_probe.exe
# checks the main window and the log window and drives one conversion
# through them; its object and header, and the text it copies to the
# clipboard, must be the bytes of the same conversion run headless.
#
# Usage: window_session.sh WINDOWS_EXE PROBE_EXE SOURCE_DIR WORK_DIR
set -u
probe=$2
exe=$1
src=$3
work=$4
if ! command -v Xvfb >/dev/null; then
    echo "window_session: Xvfb is missing (scripts/install-deps installs it)"
    exit 77
fi

rm -rf "$work"
mkdir -p "$work/session" "$work/headless"

# The server writes its display number once it accepts connections.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 800x600x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
tries=0
while [ ! -s "$work/display" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
[ -s "$work/display" ] || { echo "window_session: Xvfb did not start"; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY
unset TESSALOOM_HEADLESS

model=$src/examples/demo/demo.objex
failed=0
# The probe ticks "Link hierarchy format" and answers the dialogs with the
# model and session\out (which becomes session\out.zobj). It runs in a Wine
# desktop of its own: without a window manager every window that closes on
# the bare X server keeps Wine waiting two seconds for one.
(cd "$work" && timeout 120 wine explorer /desktop=tessaloom-session,800x600 "$probe" "$exe" "$model" 'session\out' \
    >probe.out 2>probe.err)
grep FAULT "$work/probe.out"
grep -q "^faults: 0" "$work/probe.out" || failed=1
(cd "$work/headless" && TESSALOOM_HEADLESS=1 wine "$exe" object "$model" out.zobj -l -o 06000000 -s 1024.000000 \
    >/dev/null 2>&1) || { echo "the headless conversion failed"; failed=1; }
for f in out.zobj obj.h; do
    cmp "$work/headless/$f" "$work/session/$f" || failed=1
done
# The log text is the header text.
cmp "$work/headless/obj.h" "$work/clipboard.txt" || failed=1
[ "$failed" -eq 0 ] || { echo "window_session: failed (see $work)"; exit 1; }
echo "window_session: passed"
