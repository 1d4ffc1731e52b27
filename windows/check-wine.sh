#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Windows programs as shipped, i.e. unpacked from the zip that
# ./build.sh windows makes: their file type, the DLLs they need and the
# window's resources, then runs them under Wine 10 (windows/wine10.sh) in a
# fresh Wine prefix, and installs, starts and uninstalls the installer. Needs
# an X display (./build.sh windows-check runs it under xvfb-run). Leaves a
# screenshot of the window in build-win/wine-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=build-win
TRIPLE=i686-w64-mingw32
zips=("$BUILD"/brimsel-tool-*-windows-x86.zip)
setups=("$BUILD"/brimsel-tool-*-setup.exe)
[ "${#zips[@]}" -eq 1 ] && [ -f "${zips[0]}" ] && [ "${#setups[@]}" -eq 1 ] && [ -f "${setups[0]}" ] || {
    echo "Expected one $BUILD/brimsel-tool-*-windows-x86.zip and one $BUILD/brimsel-tool-*-setup.exe;" \
        "run ./build.sh windows first" >&2
    exit 1
}
tree=$(windows/wine10.sh tree)
# In /tmp, which the Wine tree shares with the host.
work=$(mktemp -d /tmp/brimsel-wine.XXXXXX)
unzip -q "${zips[0]}" -d "$work"
dist=$(echo "$work"/brimsel-tool-*)
tool=$dist/brimsel-tool.exe
ctl=$dist/brimsel-ctl.exe
cp "${setups[0]}" "$work/"
setup=$work/$(basename "${setups[0]}")

# A 64-bit prefix, as on today's Windows: the 32-bit programs run in WoW64
# and the installer meets Program Files (x86).
export WINEPREFIX=$work/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
wine() { windows/wine10.sh run wine "$@"; }
wineserver() { windows/wine10.sh run wineserver "$@"; }
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

echo "Checking ${zips[0]} and ${setups[0]} under Wine $(cat "$tree/.wine-version")"

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
wine_dlls=$tree/usr/lib/i386-linux-gnu/wine/i386-windows
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

# Under Wine from here on, where the host runs Wine's 32-bit loader; where it
# does not, windows-vm-test runs the programs and the installer under Wine in
# a guest of its own.
if ! why=$(windows/wine10.sh runs32); then
    echo "SKIP  the programs and the installer under Wine: $why; ./build.sh windows-vm-test runs them in its guest"
    [ "$failed" -eq 0 ] || { echo "Windows checks FAILED"; exit 1; }
    echo "All Windows checks that this host can run passed"
    exit 0
fi
wine wineboot --init >"$work/boot.log" 2>&1 || {
    tail -n 30 "$work/boot.log"
    echo "FAIL  wineboot --init in a new prefix"
    exit 1
}

# brimsel-ctl: bad input, and no accessories (Wine's HID bus has none here).
# "Device not found" also says that hidapi started: when it cannot, the
# message gives the reason instead.
status=0
wine "$ctl" --color nosuchcolour >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -eq 2 ]; then
    pass "brimsel-ctl.exe --color nosuchcolour: status 2: $(head -n 1 "$work/err" | tr -d '\r')"
else
    fail "brimsel-ctl.exe --color nosuchcolour: status $status, expected 2"
fi
status=0
wine "$ctl" --list >"$work/out" 2>"$work/err" || status=$?
err=$(tr -d '\r' <"$work/err")
if [ "$status" -eq 3 ] && [ "$err" = "brimsel-ctl: Device not found" ]; then
    pass "brimsel-ctl.exe --list: status 3: $err (USB HID support started)"
else
    fail "brimsel-ctl.exe --list: status $status, expected 3 and \"brimsel-ctl: Device not found\": $err"
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

window_tmp=$work # not TMPDIR: Wine must not see it
. windows/windowtools.sh

# The window: it shows, says "Device not found" (hidapi started and found
# nothing), is painted, and a close request ends it with status 0.
wine "$tool" 2>/dev/null &
pid=$!
if search_window 120; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    pass "brimsel-tool.exe: window \"Brimsel tool\" shown, ${WIDTH}x$HEIGHT"
    text=""
    for _ in $(seq 20); do
        text=$(status_text "$window")
        [ "$text" = "Device not found" ] && break
        sleep 1
    done
    if [ "$text" = "Device not found" ]; then
        pass "brimsel-tool.exe: status bar reads \"$text\" (USB HID support started)"
    else
        fail "brimsel-tool.exe: status bar reads \"$text\", expected \"Device not found\""
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
else
    fail "brimsel-tool.exe: no window \"Brimsel tool\" within 120 s"
fi
problem=""
close_window "$pid"
if [ -z "$problem" ] && [ "$wstatus" -eq 0 ]; then
    pass "brimsel-tool.exe: ended with status 0 on a close request"
else
    fail "brimsel-tool.exe: ended with status $wstatus$problem"
fi

# The installer, silently: the files, the uninstall entry, the shortcut; the
# installed window starts from the shortcut; the uninstaller leaves nothing.
dir="$WINEPREFIX/drive_c/Program Files (x86)/Brimsel tool"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimsel tool'
lnk="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Brimsel tool.lnk"
# reg_value NAME: the value in the uninstall entry (32-bit view, where a
# 32-bit installer writes)
reg_value() {
    wine reg query "$key" /v "$1" /reg:32 2>/dev/null | tr -d '\r' |
        awk -v n="$1" '$1 == n { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
}
status=0
wine "$setup" /S || status=$?
wineserver -w
want_files=$(cd "$dist" && find . -type f | sort)
got_files=$( (cd "$dir" 2>/dev/null && find . -type f ! -name uninstall.exe | sort) || true)
if [ "$status" -eq 0 ] && [ -n "$got_files" ] && [ "$got_files" = "$want_files" ] && cmp -s "$tool" "$dir/brimsel-tool.exe" &&
    cmp -s "$ctl" "$dir/brimsel-ctl.exe" && [ -f "$dir/uninstall.exe" ]; then
    pass "$(basename "$setup") /S: status 0; C:\\Program Files (x86)\\Brimsel tool holds the zip's $(echo "$want_files" | wc -l) files and uninstall.exe"
else
    fail "$(basename "$setup") /S: status $status; installed [$(echo $got_files)], expected [$(echo $want_files)] and uninstall.exe"
fi
problem=""
for field in "DisplayName:Brimsel tool" "DisplayVersion:2.0.0.0" "Publisher:Brimsel" \
    'UninstallString:"C:\Program Files (x86)\Brimsel tool\uninstall.exe"'; do
    got=$(reg_value "${field%%:*}")
    [ "$got" = "${field#*:}" ] || problem="$problem; ${field%%:*} [$got], expected [${field#*:}]"
done
if [ -z "$problem" ]; then
    pass "uninstall entry $key: DisplayName, DisplayVersion 2.0.0.0, Publisher, UninstallString"
else
    fail "uninstall entry $key:${problem#;}"
fi
# The link keeps the target's full path as a local (ANSI) path.
if [ -f "$lnk" ] && strings -a "$lnk" | grep -qxF 'C:\Program Files (x86)\Brimsel tool\brimsel-tool.exe'; then
    pass "Start menu: Brimsel tool.lnk points at the installed brimsel-tool.exe"
else
    fail "Start menu: no Brimsel tool.lnk pointing at brimsel-tool.exe"
fi
wine start /unix "$lnk" 2>/dev/null &
starter=$!
if search_window 120; then
    pass "installed brimsel-tool.exe: started from the Start-menu entry, window shown"
else
    fail "installed brimsel-tool.exe: no window from the Start-menu entry within 120 s"
fi
wait "$starter" || true
wine taskkill /im brimsel-tool.exe >/dev/null 2>&1 || true
wineserver -w
uninstall=$(reg_value UninstallString | tr -d '"')
status=0
wine "$uninstall" /S || status=$?
# The uninstaller runs a copy of itself from the temporary folder.
wineserver -w
left=$( (cd "$WINEPREFIX/drive_c" && find . -ipath '*brimsel*' | sort) || true)
entry=$(wine reg query "$key" /reg:32 >/dev/null 2>&1 && echo "still there" || true)
if [ "$status" -eq 0 ] && [ -z "$left" ] && [ -z "$entry" ]; then
    pass "uninstall.exe /S: status 0; no file, folder, shortcut or uninstall entry left"
else
    fail "uninstall.exe /S: status $status; left: $(echo $left) ${entry:+uninstall entry}"
fi

if [ "$failed" -ne 0 ]; then
    echo "Windows checks FAILED"
    exit 1
fi
echo "All Windows checks passed"
