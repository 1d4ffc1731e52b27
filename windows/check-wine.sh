#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Windows programs as shipped, i.e. unpacked from the zip that
# ./build.sh windows makes: their file type, the DLLs they need and the
# window's resources, then runs them under Wine in a fresh Wine prefix. Needs
# an X display (./build.sh windows-check runs it under xvfb-run). Leaves a
# screenshot of the window in build-win/wine-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=build-win
TRIPLE=i686-w64-mingw32
zips=("$BUILD"/brimsel-tool-*-windows-x86.zip)
[ "${#zips[@]}" -eq 1 ] && [ -f "${zips[0]}" ] || {
    echo "Expected one $BUILD/brimsel-tool-*-windows-x86.zip; run ./build.sh windows first" >&2
    exit 1
}
work=$(mktemp -d)
unzip -q "${zips[0]}" -d "$work"
dist=$(echo "$work"/brimsel-tool-*)
tool=$dist/brimsel-tool.exe
ctl=$dist/brimsel-ctl.exe

export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failed=0
pass() { echo "PASS  $*"; }
fail() {
    echo "FAIL  $*"
    failed=1
}
finish() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

echo "Checking ${zips[0]}"

# File type and subsystem.
for exe in "$tool:GUI" "$ctl:console"; do
    file=${exe%:*} subsystem=${exe##*:}
    type=$(file -b "$file")
    if [[ $type == "PE32 executable ($subsystem) Intel 80386"* ]]; then
        pass "$(basename "$file"): $type"
    else
        fail "$(basename "$file"): $type (expected a PE32 $subsystem executable for Intel 80386)"
    fi
done

# Every DLL they import must be one of Windows' own, which Wine provides as
# built-in DLLs; a Qt, C++ run-time or thread DLL would not be among them.
wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
for file in "$tool" "$ctl"; do
    dlls=$("$TRIPLE-objdump" -p "$file" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
    foreign=$(for d in $dlls; do [ -f "$wine_dlls/$d" ] || echo "$d"; done)
    if [ -z "$foreign" ]; then
        pass "$(basename "$file") needs only system DLLs: $(echo $dlls)"
    else
        fail "$(basename "$file") needs DLLs that Windows does not have: $(echo $foreign)"
    fi
done

# The icon and the version resource, as app/brimsel-tool.rc gives them.
rc=app/brimsel-tool.rc
read -r icon_name icon_file < <(awk '$2 == "ICON" { gsub(/"/, "", $3); print $1, $3 }' "$rc")
# wrestool rebuilds an .ico file from the icon group, with some zero bytes
# after the images.
if wrestool -x --type=14 --name="$icon_name" "$tool" 2>/dev/null |
    cmp -s -n "$(stat -c %s "app/$icon_file")" - "app/$icon_file"; then
    pass "brimsel-tool.exe: icon $icon_name is app/$icon_file"
else
    fail "brimsel-tool.exe: no icon $icon_name equal to app/$icon_file"
fi
version=$(wrestool -x --raw --type=16 "$tool" 2>/dev/null | od -An -v -tx1 | tr -d ' \n')
fixed=${version#*bd04effe} # VS_FIXEDFILEINFO after its signature
le32() { echo "${1:6:2}${1:4:2}${1:2:2}${1:0:2}"; }
as_rc() { printf '%d,%d,%d,%d' "0x${1:0:4}" "0x${1:4:4}" "0x${2:0:4}" "0x${2:4:4}"; }
if [ -n "$version" ] && [ "$fixed" != "$version" ]; then
    got_file=$(as_rc "$(le32 "${fixed:8:8}")" "$(le32 "${fixed:16:8}")")
    got_product=$(as_rc "$(le32 "${fixed:24:8}")" "$(le32 "${fixed:32:8}")")
else
    got_file=none got_product=none
fi
for field in "FILEVERSION:$got_file" "PRODUCTVERSION:$got_product"; do
    want=$(awk -v f="${field%%:*}" '$1 == f { gsub(/ /, "", $2); print $2 }' "$rc")
    if [ "${field#*:}" = "$want" ]; then
        pass "brimsel-tool.exe: ${field%%:*} $want"
    else
        fail "brimsel-tool.exe: ${field%%:*} ${field#*:}, the resource script says $want"
    fi
done
# The string table: each key followed by its value.
strings_found=$(wrestool -x --raw --type=16 "$tool" 2>/dev/null | strings -el -n 2 | paste -sd '|')
while IFS=$'\t' read -r key value; do
    if [[ "|$strings_found|" == *"|$key|$value|"* ]]; then
        pass "brimsel-tool.exe: $key \"$value\""
    else
        fail "brimsel-tool.exe: no $key \"$value\" in the version resource"
    fi
done < <(sed -n 's/^ *VALUE "\([A-Za-z]*\)", "\([^"\\]*\)\(\\0\)\?".*/\1\t\2/p' "$rc")

# Under Wine from here on.
wineboot --init >/dev/null 2>&1

# brimsel-ctl: bad input, and no accessories (Wine has no USB HID accessory).
status=0
wine "$ctl" --color nosuchcolour >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 2 ]; then
    pass "brimsel-ctl.exe --color nosuchcolour: status 2: $(head -n 1 "$work/err" | tr -d '\r')"
else
    fail "brimsel-ctl.exe --color nosuchcolour: status $status, expected 2"
fi
status=0
wine "$ctl" --list >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 3 ]; then
    pass "brimsel-ctl.exe --list: status 3: $(head -n 1 "$work/err" | tr -d '\r')"
else
    fail "brimsel-ctl.exe --list: status $status, expected 3: $(tr -d '\r' <"$work/err")"
fi

# brimsel-ctl --telemetry on Windows sockets: one Forza sled packet (race on,
# 7000 of 8000 RPM) on the loopback must be named as such, and a second
# instance on the same port must exit with 2.
port=20877
printf '\x01\0\0\0\0\0\0\0\0\0\xfa\x45\0\0\x7a\x44\0\xc0\xda\x45' >"$work/sled"
head -c 212 /dev/zero >>"$work/sled"
wine "$ctl" --telemetry "$port" >"$work/tout" 2>"$work/terr" &
tpid=$!
for _ in $(seq 120); do
    grep -q 'listening for telemetry' "$work/terr" 2>/dev/null && break
    sleep 0.5
done
cat "$work/sled" >"/dev/udp/127.0.0.1/$port" # one write: one datagram
for _ in $(seq 20); do
    grep -q 'Forza Data Out, sled' "$work/terr" && break
    sleep 0.5
done
if grep -q 'telemetry: Forza Data Out, sled (232 bytes)' "$work/terr"; then
    pass "brimsel-ctl.exe --telemetry: a packet on the loopback: $(grep 'Forza' "$work/terr" | tr -d '\r')"
else
    fail "brimsel-ctl.exe --telemetry: no format line for a Forza packet: $(tr -d '\r' <"$work/terr")"
fi
status=0
wine "$ctl" --telemetry "127.0.0.1:$port" >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 2 ] && grep -q 'in use' "$work/err"; then
    pass "brimsel-ctl.exe --telemetry on a port in use: status 2: $(head -n 1 "$work/err" | tr -d '\r')"
else
    fail "brimsel-ctl.exe --telemetry on a port in use: status $status: $(tr -d '\r' <"$work/err")"
fi
wine taskkill /f /im brimsel-ctl.exe >/dev/null 2>&1 || true
wait "$tpid" 2>/dev/null || true

# The window: it shows, keeps polling (each poll loads hid.dll through
# hidapi, which Wine's loader trace shows), and a close request ends it with
# status 0.
WINEDEBUG=+loaddll wine "$tool" 2>"$work/loaddll" &
pid=$!
if window=$(timeout 120 xdotool search --sync --onlyvisible --name '^Brimsel tool$' 2>/dev/null | head -n 1) &&
    [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    pass "brimsel-tool.exe: window \"Brimsel tool\" shown, ${WIDTH}x$HEIGHT"
    sleep 3 # let a few polls pass and the status bar settle
    loads_before=$(grep -c 'Loaded L.*hid\.dll' "$work/loaddll" || true)
    sleep 2
    loads=$(($(grep -c 'Loaded L.*hid\.dll' "$work/loaddll" || true) - loads_before))
    if [ "$loads" -ge 8 ]; then
        pass "brimsel-tool.exe: polls: hid.dll loaded $loads times in 2 s (hidapi loads it on each try)"
    else
        fail "brimsel-tool.exe: no polling seen: hid.dll loaded $loads times in 2 s"
    fi
    /usr/bin/import -window "$window" "$BUILD/wine-window.png"
    # The hue/saturation field alone has thousands of colours; a window
    # that failed to lay out or paint has a handful.
    colours=$(/usr/bin/convert "$BUILD/wine-window.png" -format %k info:)
    if [ "$colours" -ge 1000 ]; then
        pass "brimsel-tool.exe: window painted ($colours colours; $BUILD/wine-window.png)"
    else
        fail "brimsel-tool.exe: window has only $colours colours ($BUILD/wine-window.png)"
    fi
    wine taskkill /im brimsel-tool.exe >/dev/null 2>&1 || true
else
    fail "brimsel-tool.exe: no window \"Brimsel tool\" within 120 s"
    kill "$pid" 2>/dev/null || true
fi
for _ in $(seq 60); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 1
done
if kill -0 "$pid" 2>/dev/null; then
    fail "brimsel-tool.exe: still running 60 s after the close request"
    kill "$pid"
fi
status=0
wait "$pid" || status=$?
if [ "$status" -eq 0 ]; then
    pass "brimsel-tool.exe: ended with status 0 on a close request"
else
    fail "brimsel-tool.exe: ended with status $status"
fi

if [ "$failed" -ne 0 ]; then
    echo "Windows checks FAILED"
    exit 1
fi
echo "All Windows checks passed"
