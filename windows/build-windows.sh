#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the 32-bit Windows programs on Debian: a static Qt from
# Debian's qtbase source, hidapi's Windows back end from Debian's hidapi
# source, libsodium from Debian's libsodium source, then brimsel-tool.exe and brimsel-ctl.exe linked statically, packed
# with a README into build-win/brimsel-tool-<version>-windows-x86.zip, and the
# installer build-win/brimsel-tool-<version>-setup.exe (NSIS) made from it.
#
# Qt, hidapi and libsodium are kept in ~/.cache/brimsel-tool/windows: the Qt build takes
# about half an hour on two cores, and later runs reuse it. The cache key holds
# the source version and Qt's configure options, so changing either builds
# afresh.
#
# Run by ./build.sh windows, which installs the tool chain first.
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS=$(nproc 2>/dev/null || echo 2)
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/brimsel-tool/windows
TRIPLE=i686-w64-mingw32
BUILD=build-win

# What the two programs use of Qt, and no more. Debian's source lacks the
# wintab headers (tablet events) and SQLite. Without OpenGL and Direct2D the
# programs need nothing beyond the system's DLLs.
QT_OPTIONS=(
    -opensource -confirm-license -release -static
    -platform linux-g++ -xplatform win32-g++ -device-option CROSS_COMPILE=$TRIPLE-
    -nomake examples -nomake tests
    -no-feature-network -no-feature-sql -no-feature-testlib -no-feature-xml
    -no-feature-concurrent -no-feature-printer -no-dbus
    -no-opengl -no-direct2d -no-icu -no-libjpeg -no-gif -no-feature-tabletevent
    -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-freetype
)
# Licence texts of Qt and of the libraries it bundles that end up in the
# programs; they go into the zip.
QT_LICENSES=(LICENSE.LGPL3 LICENSE.GPL2 LICENSE.GPL3 LICENSE.GPL3-EXCEPT
             src/3rdparty/zlib/LICENSE src/3rdparty/pcre2/LICENCE src/3rdparty/libpng/LICENSE
             src/3rdparty/freetype/docs/FTL.TXT src/3rdparty/harfbuzz-ng/COPYING
             src/3rdparty/double-conversion/LICENSE src/3rdparty/md4c/LICENSE.md
             src/3rdparty/easing/LICENSE src/3rdparty/tinycbor/LICENSE
             src/3rdparty/rfc6234/LICENSE src/3rdparty/icc/LICENSE.txt)

log() { echo "== $*"; }

sudo_cmd() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Newest version of a source package that apt knows.
source_version() {
    apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -V | tail -n 1
}

# apt-get source needs deb-src entries: add them for the archives the system
# installs from, so that the sources match the installed packages.
ensure_deb_src() {
    [ -n "$(source_version qtbase-opensource-src)" ] && return 0
    local name=/etc/apt/sources.list.d/brimsel-tool-src
    log "Adding deb-src entries ($name.*)"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$name.sources" ] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:[^\n]*deb([ \t]|\n|$)/ && !/(^|\n)Enabled: *no/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
    done | sudo_cmd tee "$name.sources" >/dev/null
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb\([[:space:]]\)/deb-src\1/p' /etc/apt/sources.list | sudo_cmd tee "$name.list" >/dev/null
    fi
    sudo_cmd apt-get -o DPkg::Lock::Timeout=900 update -qq
    [ -n "$(source_version qtbase-opensource-src)" ] || {
        echo "No source package qtbase-opensource-src after adding $name.*" >&2
        exit 1
    }
}

# fetch_source PACKAGE VERSION DIR: unpacks the Debian source into DIR and
# prints the folder it made.
fetch_source() {
    (cd "$3" && apt-get source -qq "$1=$2" >"$3/source.log" 2>&1) || { tail -n 30 "$3/source.log" >&2; exit 1; }
    find "$3" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1
}

# The cross compilers with posix threads, whatever the alternatives say;
# Qt's make files call them by their plain names.
setup_compilers() {
    mkdir -p "$CACHE/bin"
    ln -sf "/usr/bin/$TRIPLE-gcc-posix" "$CACHE/bin/$TRIPLE-gcc"
    ln -sf "/usr/bin/$TRIPLE-g++-posix" "$CACHE/bin/$TRIPLE-g++"
    export PATH="$CACHE/bin:$PATH"
}

build_qt() {
    local version key work src f
    version=$(source_version qtbase-opensource-src)
    key=$(printf '%s\n' "$version" "${QT_OPTIONS[@]}" | sha256sum | cut -c1-10)
    QT_PREFIX=$CACHE/qt-${version%%+*}-$TRIPLE-static-$key
    QT_VERSION=$version
    if [ -f "$QT_PREFIX/.complete" ]; then
        log "Qt: reusing $QT_PREFIX"
        return 0
    fi
    work=$CACHE/qt-work-$key
    if [ ! -f "$work/.configured" ]; then
        rm -rf "$work" "$QT_PREFIX"
        mkdir -p "$work/build" "$QT_PREFIX/licenses"
        log "Qt: fetching qtbase-opensource-src $version"
        src=$(fetch_source qtbase-opensource-src "$version" "$work")
        for f in "${QT_LICENSES[@]}"; do
            cp "$src/$f" "$QT_PREFIX/licenses/$(echo "${f#src/3rdparty/}" | tr / -)"
        done
        log "Qt: configuring (a few minutes; log in $work/configure.log)"
        (cd "$work/build" && "$src/configure" -prefix "$QT_PREFIX" "${QT_OPTIONS[@]}") \
            >"$work/configure.log" 2>&1 || { tail -n 40 "$work/configure.log"; exit 1; }
        touch "$work/.configured"
    fi
    log "Qt: building with $JOBS jobs (about half an hour on two cores; log in $work/make.log)"
    (cd "$work/build" && make -j"$JOBS" && make install) >"$work/make.log" 2>&1 ||
        { tail -n 40 "$work/make.log"; exit 1; }
    touch "$QT_PREFIX/.complete"
    rm -rf "$work"
    log "Qt: installed in $QT_PREFIX ($(du -sh "$QT_PREFIX" | cut -f1))"
}

# reusing PREFIX NAME: whether NAME was built into PREFIX before (it says
# so); if not, PREFIX and NAME's work folder are made anew for a build.
reusing() {
    if [ -f "$1/.complete" ]; then
        log "$2: reusing $1"
        return 0
    fi
    rm -rf "$1" "$CACHE/$2-work"
    mkdir -p "$1/licenses" "$CACHE/$2-work"
    return 1
}

# hidapi's Windows back end as a static library; one C file.
build_hidapi() {
    local version work src
    version=$(source_version hidapi)
    HIDAPI_PREFIX=$CACHE/hidapi-$version-$TRIPLE
    HIDAPI_VERSION=$version
    reusing "$HIDAPI_PREFIX" hidapi && return 0
    work=$CACHE/hidapi-work
    mkdir -p "$HIDAPI_PREFIX/include/hidapi" "$HIDAPI_PREFIX/lib"
    log "hidapi: fetching and building hidapi $version"
    src=$(fetch_source hidapi "$version" "$work")
    "$TRIPLE-gcc-posix" -O2 -c "$src/windows/hid.c" -I "$src/hidapi" -o "$work/hid.o"
    "$TRIPLE-ar" rcs "$HIDAPI_PREFIX/lib/libhidapi.a" "$work/hid.o"
    cp "$src/hidapi/hidapi.h" "$src/windows/hidapi_winapi.h" "$HIDAPI_PREFIX/include/hidapi/"
    cp "$src/LICENSE.txt" "$src/LICENSE-bsd.txt" "$HIDAPI_PREFIX/licenses/"
    touch "$HIDAPI_PREFIX/.complete"
    rm -rf "$work"
}

# libsodium, for Gran Turismo's encrypted telemetry, as a static library.
build_sodium() {
    local version work src
    version=$(source_version libsodium)
    SODIUM_PREFIX=$CACHE/libsodium-$version-$TRIPLE
    SODIUM_VERSION=$version
    reusing "$SODIUM_PREFIX" libsodium && return 0
    work=$CACHE/libsodium-work
    log "libsodium: fetching and building libsodium $version (a few minutes; log in $work/build.log)"
    src=$(fetch_source libsodium "$version" "$work")
    # Debian's source has no generated configure script.
    (cd "$src" && autoreconf -fi && ./configure --host="$TRIPLE" --prefix="$SODIUM_PREFIX" --enable-static --disable-shared \
        --disable-dependency-tracking CC="$TRIPLE-gcc-posix" &&
        make -j "$JOBS" && make install) >"$work/build.log" 2>&1 ||
        { tail -n 30 "$work/build.log" >&2; exit 1; }
    cp "$src/LICENSE" "$SODIUM_PREFIX/licenses/"
    touch "$SODIUM_PREFIX/.complete"
    rm -rf "$work"
}

build_programs() {
    log "Building brimsel-tool.exe and brimsel-ctl.exe in $BUILD"
    cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$PWD/windows/mingw-i686.cmake" \
        -DCMAKE_PREFIX_PATH="$QT_PREFIX;$HIDAPI_PREFIX;$SODIUM_PREFIX" -DCMAKE_BUILD_TYPE=Release \
        -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_DEMO=OFF -DBRIMSEL_WERROR=ON >/dev/null
    cmake --build "$BUILD" -j "$JOBS" --target brimsel-tool brimsel-ctl brimsel-lights
}

# The zip: the programs (stripped), the README for Windows users with CRLF
# line ends, and the licences.
pack() {
    local version name dist f
    version=$(sed -n 's/^project(brimsel-tool VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    name=brimsel-tool-$version-windows-x86
    dist=$BUILD/$name
    rm -rf "$dist" "$BUILD/$name.zip"
    mkdir -p "$dist/licenses"
    for f in app/brimsel-tool.exe ctl/brimsel-ctl.exe lights/brimsel-lights.exe; do
        "$TRIPLE-strip" -o "$dist/$(basename "$f")" "$BUILD/$f"
    done
    sed -e "s/@VERSION@/$version/g" -e "s/@QT_VERSION@/$QT_VERSION/g" \
        -e "s/@HIDAPI_VERSION@/$HIDAPI_VERSION/g" -e "s/@SODIUM_VERSION@/$SODIUM_VERSION/g" \
        -e "s/@TOMLPP_VERSION@/$(dpkg-query -W -f '${Version}' libtomlplusplus-dev)/g" windows/README.txt | sed 's/$/\r/' >"$dist/README.txt"
    sed 's/$/\r/' LICENSE >"$dist/LICENSE.txt"
    sed 's/$/\r/' docs/lights.toml >"$dist/lights-example.toml"
    cp "$QT_PREFIX"/licenses/* "$dist/licenses/"
    for f in "$HIDAPI_PREFIX"/licenses/*; do
        cp "$f" "$dist/licenses/hidapi-$(basename "$f")"
    done
    cp "$SODIUM_PREFIX/licenses/LICENSE" "$dist/licenses/libsodium-LICENSE"
    # toml++ is compiled in from Debian's headers: its copyright file.
    cp /usr/share/doc/libtomlplusplus-dev/copyright "$dist/licenses/tomlplusplus-copyright"
    (cd "$BUILD" && zip -qr -X "$name.zip" "$name")
    log "Windows zip: $BUILD/$name.zip"
    (cd "$dist" && ls -l brimsel-tool.exe brimsel-ctl.exe brimsel-lights.exe) | awk '{ printf "   %-16s %9d bytes\n", $NF, $5 }'
    # The installer holds the same files as the zip.
    makensis -V2 -WX -DVERSION="$version" -DDIST="$PWD/$dist" -DICON="$PWD/app/logo_app_48.ico" \
        -DOUTFILE="$PWD/$BUILD/brimsel-tool-$version-setup.exe" windows/installer.nsi >/dev/null
    log "Windows installer: $BUILD/brimsel-tool-$version-setup.exe ($(stat -c %s "$BUILD/brimsel-tool-$version-setup.exe") bytes)"
}

case "${1:-all}" in
qt)
    ensure_deb_src
    setup_compilers
    build_qt
    ;;
all)
    ensure_deb_src
    setup_compilers
    build_qt
    build_hidapi
    build_sodium
    build_programs
    pack
    ;;
*)
    echo "usage: $0 [all|qt]" >&2
    exit 2
    ;;
esac
