# SPDX-License-Identifier: MIT
# The Windows lab's scenarios, run by init.sh as the guest's first process,
# with the trixie tree as the root (/bin/sh). Each prints one "LAB RESULT
# PASS|FAIL name" line; "LAB INFO" lines carry figures and details; "LAB
# FATAL" when Wine or the guest's services do not come up.
. /tmp/lab/labcheck.sh
. /tmp/lab/windowtools.sh
. /tmp/lab/helpers.sh

lab_start
. /tmp/lab/scenarios-ctl.sh
. /tmp/lab/scenarios-agent.sh
. /tmp/lab/scenarios-memory.sh
. /tmp/lab/scenarios-window.sh
. /tmp/lab/scenarios-end.sh

acc quit
wineserver -k
end
