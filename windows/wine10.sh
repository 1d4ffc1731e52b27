#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Wine 10 for the Windows checks, from a Debian trixie tree made with
# debootstrap and kept in ~/.cache/brimsel-tool/wine10-<key>; the host's apt
# sources are never touched. Bookworm's Wine 8 cannot start hidapi's Windows
# back end.
#
#   windows/wine10.sh tree         make the tree if needed; print its path
#   windows/wine10.sh run CMD...   run CMD (wine, wineserver, ...) in the tree
#   windows/wine10.sh image        an ext4 image of the tree, for the VM lab
#   windows/wine10.sh runs32       whether this host runs Wine's 32-bit
#                                  loader; if not, prints why and fails
#
# "run" needs root: it chroots into the tree in a mount namespace of its own,
# with /dev, /proc, /sys and /tmp of the host bound in (Xvfb's socket and the
# checks' work folders live in /tmp). The environment passes through, so
# WINEPREFIX, DISPLAY and XAUTHORITY work as on the host.
set -euo pipefail

SUITE=trixie
MIRROR=${BRIMSEL_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# Wine for 32-bit programs, and wine64 for a 64-bit prefix; for the VM lab's
# guest udev, Xvfb, xdotool, and xwd, netpbm and tesseract to read the
# window's status bar; trayer, a system tray for the lights' icon.
PACKAGES=(wine wine32:i386 wine64 fonts-wine udev xvfb xauth xdotool x11-apps netpbm tesseract-ocr trayer)
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/brimsel-tool
KEY=$(printf '%s\n' "$SUITE" "$MIRROR" "${PACKAGES[@]}" 2 | sha256sum | cut -c1-10)
TREE=$CACHE/wine10-$KEY

log() { echo "== $*" >&2; }
die() {
    echo "wine10: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap and chroot)"

make_tree() {
    [ -f "$TREE/.complete" ] && return 0
    # One build at a time; a second caller waits and then finds it made.
    mkdir -p "$CACHE"
    exec 9>"$TREE.lock"
    flock 9
    [ -f "$TREE/.complete" ] && return 0
    command -v debootstrap >/dev/null || die "debootstrap is not installed"
    local tmp=$TREE.tmp
    rm -rf "$tmp"
    mkdir -p "$tmp"
    log "Wine 10: debootstrap $SUITE into $tmp (a few minutes; log in $tmp.log)"
    debootstrap --variant=minbase --arch=amd64 "$SUITE" "$tmp" "$MIRROR" >"$tmp.log" 2>&1 ||
        { tail -n 30 "$tmp.log" >&2; die "debootstrap failed"; }
    log "Wine 10: installing ${PACKAGES[*]}"
    in_tree "$tmp" sh -c "dpkg --add-architecture i386 && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${PACKAGES[*]} &&
        apt-get clean && rm -rf /var/lib/apt/lists/*" >>"$tmp.log" 2>&1 ||
        { tail -n 30 "$tmp.log" >&2; die "installing Wine in the tree failed"; }
    in_tree "$tmp" dpkg-query -W -f='${Version}' wine >"$tmp/.wine-version"
    touch "$tmp/.complete"
    rm -rf "$TREE"
    mv "$tmp" "$TREE"
    rm -f "$tmp.log"
    log "Wine 10: $(cat "$TREE/.wine-version") in $TREE ($(du -sh "$TREE" | cut -f1))"
}

# in_tree ROOT CMD...: CMD chrooted into ROOT, with the host's /dev, /proc,
# /sys and /tmp; the mounts end with the command's namespace.
in_tree() {
    local root=$1
    shift
    [ -f /etc/resolv.conf ] && cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    unshare --mount --propagation private -- /bin/sh -c '
        root=$1
        shift
        mount --rbind /dev "$root/dev" && mount -t proc proc "$root/proc" &&
            mount --rbind /sys "$root/sys" && mount --bind /tmp "$root/tmp" || exit 125
        exec chroot "$root" "$@"' sh "$root" "$@"
}

# The ext4 image for the VM lab, kept next to the tree.
make_image() {
    local image=$TREE.ext4 size
    [ -f "$image" ] && [ "$image" -nt "$TREE/.complete" ] && { echo "$image"; return 0; }
    size=$(du -sm "$TREE" | cut -f1)
    log "Wine 10: making $image"
    rm -f "$image.tmp"
    # Its "Creating regular file" line goes to standard error: standard
    # output is the image's path, which the lab reads.
    mkfs.ext4 -q -F -L wine10 -d "$TREE" "$image.tmp" "$((size * 5 / 4 + 1200))M" >&2 ||
        die "mkfs.ext4 -d failed"
    mv "$image.tmp" "$image"
    echo "$image"
}

case "${1:-}" in
tree)
    make_tree
    echo "$TREE"
    ;;
run)
    shift
    make_tree
    in_tree "$TREE" "$@"
    ;;
image)
    make_tree
    make_image
    ;;
runs32)
    # Some hosts refuse 32-bit programs: a kernel without IA32 emulation, or
    # a paravirtualised guest. Wine needs them for our 32-bit programs.
    make_tree
    out=$(in_tree "$TREE" /usr/lib/wine/wine --version 2>&1) || {
        echo "this host does not run 32-bit programs (its kernel refuses Wine's 32-bit loader: $(echo $out | cut -c1-200))"
        exit 1
    }
    ;;
*)
    echo "usage: $0 tree|run CMD...|image|runs32" >&2
    exit 2
    ;;
esac
