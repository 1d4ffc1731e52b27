# SPDX-License-Identifier: MIT
# The guest kernel of both labs (vm/lab.sh and windows/lab/lab.sh), sourced
# on the host; the caller defines die and work (a scratch folder).
#
#   lab_fetch PACKAGE
#
# Downloads the package into $work (never installs it) and prints the .deb.
#
#   lab_kernel MODULE...
#
# Fetches, once, the kernel package that linux-image-amd64 points at today
# (never installed) and keeps in ~/.cache/brimsel-tool/kernel the bare ELF
# kernel and the modules named with those they depend on. Sets package,
# version and kernel (the folder: vmlinux, modules/*.ko, and modules/order,
# the load order: each module after those it depends on).

lab_fetch() {
    (cd "$work" && apt-get download -qq "$1" 2>/dev/null) >&2 ||
        (apt-get -o DPkg::Lock::Timeout=900 update -qq && cd "$work" && apt-get download -qq "$1") >&2 ||
        die "cannot download $1"
    echo "$work/$1"_*.deb
}

lab_kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}

lab_kernel() {
    local cache key deb order m
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/brimsel-tool/kernel
    package=$(lab_kernel_package)
    if [ -z "$package" ]; then
        apt-get -o DPkg::Lock::Timeout=900 update -qq
        package=$(lab_kernel_package)
    fi
    [ -n "$package" ] || die "cannot resolve linux-image-amd64 to a kernel package"
    version=$(apt-cache show --no-all-versions "$package" | awk '/^Version:/ { print $2; exit }')
    key=$(printf '%s\n' "$@" | sha256sum | cut -c1-8)
    kernel=$cache/$package-$version-$key
    [ -f "$kernel/.complete" ] && return 0

    echo "Fetching $package $version"
    mkdir -p "$cache" "$work/deb"
    rm -rf "$kernel.tmp" && mkdir -p "$kernel.tmp/modules"
    deb=$(lab_fetch "$package")
    dpkg-deb -x "$deb" "$work/deb"
    order=()
    for m in "$@"; do lab_kernel_add "$m"; done
    # qemu boots the bare ELF kernel through its PVH entry, which is much
    # faster under TCG than the compressed bzImage: unpack the xz payload.
    local vmlinuz offset
    vmlinuz=$(echo "$work"/deb/boot/vmlinuz-*)
    offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -1 | cut -d: -f1)
    [ -n "$offset" ] || die "no xz payload in $vmlinuz"
    # xz stops reading after its stream, so tail may end on a broken pipe.
    { tail -c +$((offset + 1)) "$vmlinuz" || true; } | xz -dc --single-stream >"$kernel.tmp/vmlinux"
    touch "$kernel.tmp/.complete"
    rm -rf "$kernel" && mv "$kernel.tmp" "$kernel"
    rm -rf "$work/deb" "$deb"
    # Older kernels with the same modules are of no more use.
    find "$cache" -maxdepth 1 -name "linux-image-*-$key" ! -path "$kernel" -exec rm -rf {} +
}

# lab_kernel_add NAME: the module (either spelling, - or _), after those it
# depends on (its .modinfo "depends=a,b"); nothing for one built in.
lab_kernel_add() {
    local name=${1//-/_} file dep m
    for m in "${order[@]}"; do [ "$m" = "$name" ] && return 0; done
    file=$(find "$work/deb/lib/modules" \( -name "$name.ko" -o -name "${name//_/-}.ko" \) | head -n 1)
    if [ -z "$file" ]; then
        grep -qE "/(${name}|${name//_/-})\.ko$" "$work"/deb/lib/modules/*/modules.builtin ||
            die "the kernel package has no module $1"
        return 0
    fi
    for dep in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | head -n 1 | tr , ' '); do
        lab_kernel_add "$dep"
    done
    cp "$file" "$kernel.tmp/modules/"
    order+=("$name")
    basename "$file" >>"$kernel.tmp/modules/order"
}
