# SPDX-License-Identifier: MIT
# Makes the Windows lab's Wine prefix in $PREFIX (by default /prefix), whose
# .setup folder holds the stand-in cfgmgr32.dll and the lab's registry
# entries. Runs in the trixie tree: from vm/winelab.sh on a host that runs
# Wine's 32-bit loader, or else as the lab guest's first process (started by
# winelab-init.sh), which it then powers off.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export WINEPREFIX=${PREFIX:-/prefix} WINEDEBUG=-all
in_guest=$([ -z "$PREFIX" ] && echo yes)
[ -n "$in_guest" ] && export HOME=/tmp/home && mkdir -p $HOME
setup=$WINEPREFIX/.setup
# 32-bit: the lab's programs are, and the prefix is half the size.
if WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init && wineserver -w &&
    cp $setup/cfgmgr32.dll $WINEPREFIX/drive_c/windows/system32/cfgmgr32.dll &&
    wine regedit /S $setup/lab.reg && wineserver -w; then
    rm -rf $setup
    echo "LAB PREFIX READY"
    ok=yes
else
    echo "LAB FATAL making the prefix failed"
fi
[ -n "$in_guest" ] || { [ -n "$ok" ]; exit; }
umount $WINEPREFIX
sync
echo "LAB END"
/tmp/lab/busybox poweroff -f
