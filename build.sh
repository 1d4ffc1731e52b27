#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Set-up, build, run and test in one place. Re-runnable: installs only the
# Debian packages that are missing and rebuilds only what changed. The
# commands are listed in usage() below (./build.sh --help).
set -euo pipefail
cd "$(dirname "$0")"

BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libhidapi-dev libsodium-dev libtomlplusplus-dev)
# The tray test's X server, tray host and mouse.
X11_TEST_PACKAGES=(xvfb xauth xdotool trayer)
# The Windows cross-build (MinGW with posix threads, and what building Qt
# from Debian's source needs), its installer (NSIS) and its checks under
# Wine 10, which comes from a trixie tree made with debootstrap.
WINDOWS_PACKAGES=(cmake make g++ perl libtomlplusplus-dev dpkg-dev xz-utils g++-mingw-w64-i686-posix autoconf automake libtool zip unzip file nsis
                  debootstrap xvfb xauth xdotool x11-apps netpbm imagemagick icoutils tesseract-ocr)
JOBS=$(nproc 2>/dev/null || echo 2)

install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# sdk_client: a real OpenRGB SDK client for the tests, the npm package
# openrgb-sdk, installed once into the cache; prints its node_modules.
SDK_CLIENT_VERSION=0.6.0
sdk_client() {
    command -v node >/dev/null && command -v npm >/dev/null || install_missing nodejs npm >&2
    local dir=$HOME/.cache/brimsel-tool/npm-openrgb-sdk-$SDK_CLIENT_VERSION
    if [ ! -f "$dir/node_modules/openrgb-sdk/package.json" ]; then
        echo "Installing the npm package openrgb-sdk $SDK_CLIENT_VERSION into $dir" >&2
        npm install --prefix "$dir" --no-audit --no-fund --no-save "openrgb-sdk@$SDK_CLIENT_VERSION" >&2
    fi
    echo "$dir/node_modules"
}

run_tests() {
    local dir=$1
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$JOBS")
}

usage() {
    cat <<'EOF'
Usage: ./build.sh COMMAND [ARGUMENTS]

Installs what is missing with apt-get, then builds in a folder of its own.

  run            build and start the tool (build/); ARGUMENTS go to it
  demo           build and start the window over virtual accessories
                 (build-demo/); ARGUMENTS go to it
  test           build and run the whole test suite headless (build-test/)
  sanitize       the same tests built with ASan and UBSan (build-asan/)
  bench          build the benchmarks in bench/ and run them (build-bench/)
  windows-rc     compile the Windows resource script as a check (build-rc/)
  package        build the Debian package build-deb/brimsel-tool_*.deb
  check-package  build it and check it with lintian, appstreamcli and
                 desktop-file-validate; any complaint fails
  fuzz           run each libFuzzer target for FUZZ_SECONDS (default 30)
  vm-test        run the shipped programs on a real kernel HID stack in qemu
  vm-bench       the same guest, running the benchmark instead
  windows        cross-build the 32-bit Windows programs into
                 build-win/brimsel-tool-*-windows-x86.zip and the installer
                 brimsel-tool-*-setup.exe (first run: ~30 min)
  windows-check  check the zip's programs and the installer under Wine 10
                 (a Debian trixie tree in ~/.cache) and Xvfb
  windows-vm-test  the zip's programs under Wine 10 on a real kernel HID
                 stack in qemu; windows/lab/lab.sh ZIP runs another zip
  --help         show this help
EOF
}

case "${1:-}" in
-h | --help | help)
    usage
    ;;
run)
    install_missing "${BUILD_PACKAGES[@]}"
    configure_and_build build -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_DEMO=OFF
    exec ./build/app/brimsel-tool "${@:2}"
    ;;
demo)
    install_missing "${BUILD_PACKAGES[@]}"
    cmake -S . -B build-demo -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_DEMO=ON >/dev/null
    cmake --build build-demo -j "$JOBS" --target brimsel-tool-demo
    exec ./build-demo/demo/brimsel-tool-demo "${@:2}"
    ;;
test)
    install_missing "${BUILD_PACKAGES[@]}" "${X11_TEST_PACKAGES[@]}"
    configure_and_build build-test -DBRIMSEL_WERROR=ON -DBRIMSEL_NODE_MODULES="$(sdk_client)"
    run_tests build-test
    ;;
sanitize)
    install_missing "${BUILD_PACKAGES[@]}" "${X11_TEST_PACKAGES[@]}"
    configure_and_build build-asan -DBRIMSEL_WERROR=ON -DBRIMSEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
        -DBRIMSEL_NODE_MODULES="$(sdk_client)"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        run_tests build-asan
    ;;
bench)
    install_missing "${BUILD_PACKAGES[@]}" "${X11_TEST_PACKAGES[@]}"
    configure_and_build build-bench -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
    for b in build-bench/bench/bench_*; do
        [ -f "$b" ] && [ -x "$b" ] || continue # skip the *_autogen folders
        echo "== $(basename "$b")"
        if [ "$(basename "$b")" = bench_lights ]; then
            # The tray program as a user starts it: an X server with a tray.
            tests/x11-tray.sh "$b" || QT_QPA_PLATFORM=offscreen "$b"
        else
            QT_QPA_PLATFORM=offscreen "$b"
        fi
    done
    ;;
windows-rc)
    # Qt for Windows cannot be had here, but the resource script can be
    # checked. No MinGW gcc either, so the host's preprocessor reads it.
    install_missing binutils-mingw-w64-i686 cpp
    mkdir -p build-rc
    i686-w64-mingw32-windres --preprocessor=cpp -I app app/brimsel-tool.rc \
        -O coff -o build-rc/brimsel-tool.res.o
    echo "windres: app/brimsel-tool.rc compiled to build-rc/brimsel-tool.res.o"
    ;;
windows)
    install_missing "${WINDOWS_PACKAGES[@]}"
    windows/build-windows.sh
    ;;
windows-check)
    install_missing "${WINDOWS_PACKAGES[@]}"
    xvfb-run -a -s "-screen 0 1280x1024x24" windows/check-wine.sh
    ;;
windows-vm-test)
    # The guest's kernel comes as for vm-test; Wine, udev and Xvfb from the
    # trixie tree, as an ext4 image (e2fsprogs).
    install_missing qemu-system-x86 busybox-static cpio xz-utils file debootstrap e2fsprogs unzip \
        g++-mingw-w64-i686-posix
    exec windows/lab/lab.sh
    ;;
package)
    # dpkg-shlibdeps (dpkg-dev) works out the package's dependencies.
    install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file
    # Debian's compiler and linker flags, hardening included, as
    # dpkg-buildpackage would give them.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    configure_and_build build-deb -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_DEMO=OFF -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
    (cd build-deb && cpack -G DEB)
    ;;
check-package)
    "$0" package
    install_missing lintian appstream desktop-file-utils
    packaging/check-package.sh build-deb
    ;;
fuzz)
    install_missing "${BUILD_PACKAGES[@]}" clang
    if [ ! -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
        install_missing "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
    fi
    CC=clang CXX=clang++ configure_and_build build-fuzz -DBRIMSEL_BUILD_FUZZ=ON \
        -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_DEMO=OFF -DBRIMSEL_WERROR=ON
    exec fuzz/run.sh build-fuzz
    ;;
vm-test | vm-bench)
    # The lab in vm/: the guest's kernel and udevadm come from apt-get download,
    # never installed here; libkmod2 is the one library udevadm needs that a
    # bare machine may lack.
    install_missing "${BUILD_PACKAGES[@]}" qemu-system-x86 busybox-static cpio xz-utils file libkmod2
    configure_and_build build-vm -DBRIMSEL_BUILD_VM=ON -DBRIMSEL_BUILD_TESTS=OFF -DBRIMSEL_BUILD_DEMO=OFF \
        -DBRIMSEL_WERROR=ON -DCMAKE_BUILD_TYPE=Release
    exec vm/lab.sh "${1#vm-}" build-vm
    ;;
"")
    echo "build.sh: no command given" >&2
    usage >&2
    exit 2
    ;;
*)
    echo "build.sh: unknown command '$1'" >&2
    usage >&2
    exit 2
    ;;
esac
