# SPDX-License-Identifier: MIT
# Makes the Windows lab's Wine prefix in /prefix, whose .setup folder holds
# the stand-in cfgmgr32.dll and the lab's registry entries. Runs in the
# trixie tree as the lab guest's first process (started by init.sh
# with brimsel.mode=prefix), which it then powers off. Wine's own output
# stays on the console, so that the host's log shows why a step failed.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export WINEPREFIX=/prefix WINEDEBUG=-all HOME=/tmp/home
mkdir -p $HOME
setup=$WINEPREFIX/.setup
# 32-bit: the lab's programs are, and the prefix is half the size.
if WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init && wineserver -w &&
    cp $setup/cfgmgr32.dll $WINEPREFIX/drive_c/windows/system32/cfgmgr32.dll &&
    wine regedit /S $setup/lab.reg && wineserver -w; then
    rm -rf $setup
    echo "LAB PREFIX READY"
else
    echo "LAB FATAL making the prefix failed"
fi
umount $WINEPREFIX
sync
echo "LAB END"
/tmp/lab/busybox poweroff -f
