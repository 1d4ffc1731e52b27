#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a test program on a real X server with a system tray: Xvfb with
# Debian's trayer as the tray host. Skipped (77) where they are missing.
#
#   tests/x11-tray.sh PROGRAM [ARGUMENTS]
for tool in xvfb-run trayer xdotool; do
    command -v $tool >/dev/null 2>&1 || { echo "SKIP: no $tool"; exit 77; }
done
exec xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
    trayer --edge top --align right --widthtype pixel --width 160 --height 32 \
        --transparent false --tint 0x808080 >/dev/null 2>&1 &
    tray=$!
    QT_QPA_PLATFORM=xcb "$@"
    status=$?
    kill $tray 2>/dev/null
    exit $status' sh "$@"
