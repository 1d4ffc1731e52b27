#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# check-package.sh [BUILD_DIR]: checks the Debian package that
# `./build.sh package` made in BUILD_DIR (default build-deb) and fails on any
# complaint: lintian on the package; appstreamcli, desktop-file-validate and
# systemd-analyze on the files it installs; and `cmake --install` must
# install the same files.
set -euo pipefail
build=${1:-build-deb}
debs=("$build"/brimsel-tool_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "want one package in $build, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# check NAME COMMAND...: the command must succeed and print nothing.
check() {
    local name=$1 out
    shift
    if out=$("$@" 2>&1) && [ -z "$out" ]; then
        echo "$name: clean"
    else
        printf '%s complained:\n%s\n' "$name" "$out"
        failed=1
    fi
}

# Errors, warnings and notes; its remark on running as root (CI runs as root)
# is no complaint about the package.
lint() {
    lintian -I --fail-on error,warning,info "$deb" 2>&1 | grep -vx 'running with root privileges is not recommended!'
    return "${PIPESTATUS[0]}"
}
check lintian lint

dpkg-deb -x "$deb" "$work/package"
# Prints only its verdict when there is nothing to report, which is dropped.
appstream() {
    appstreamcli "$@" --pedantic --no-net --no-color | grep -vx '. Validation was successful.'
    [ "${PIPESTATUS[0]}" -eq 0 ]
}
check "appstreamcli validate" appstream validate "$work"/package/usr/share/metainfo/*.metainfo.xml
check "appstreamcli validate-tree" appstream validate-tree "$work/package"
check desktop-file-validate desktop-file-validate "$work"/package/usr/share/applications/*.desktop

# The user unit of the lights agent: systemd-analyze checks that the program
# it starts exists, so it reads a copy that starts the packaged one, and the
# man page it names is looked up in the package as well. Its former name is
# a link to it.
unit=usr/lib/systemd/user/brimsel-lights.service
old=usr/lib/systemd/user/brimsel-telemetry.service
if [ "$(readlink "$work/package/$old")" = brimsel-lights.service ]; then
    echo "$old: a link to brimsel-lights.service"
else
    echo "$old: not a link to brimsel-lights.service"
    failed=1
fi
program=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$work/package/$unit")
if [ "$program" = /usr/bin/brimsel-ctl ] && [ -x "$work/package$program" ]; then
    echo "$unit: starts $program, which the package holds"
else
    echo "$unit: starts \"$program\", not the packaged /usr/bin/brimsel-ctl"
    failed=1
fi
mkdir "$work/unit"
sed "s|^ExecStart=/usr/bin/|ExecStart=$work/package/usr/bin/|" "$work/package/$unit" >"$work/unit/brimsel-lights.service"
check "systemd-analyze verify" env MANPATH="$work/package/usr/share/man" \
    systemd-analyze verify "$work/unit/brimsel-lights.service"

DESTDIR="$work/install" cmake --install "$build" >/dev/null
files() { (cd "$1" && find . ! -type d | sort); }
check "cmake --install against the package" diff <(files "$work/package") <(files "$work/install")

exit $failed
