// SPDX-License-Identifier: MIT
// The Windows lab's stand-in for brimsel-ctl.exe beside brimsel-lights.exe:
// it notes each start in the file LAB_STARTS names and ends with the status
// LAB_STATUS gives (0xC0000005 as a crash ends a process). Lab only; never
// shipped.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    const char *starts = getenv("LAB_STARTS");
    const char *status = getenv("LAB_STATUS");
    FILE *f = starts ? fopen(starts, "a") : NULL;
    if (f) {
        fprintf(f, "start");
        for (int i = 1; i < argc; ++i)
            fprintf(f, " %s", argv[i]);
        fprintf(f, "\n");
        fclose(f);
    }
    TerminateProcess(GetCurrentProcess(), status ? (UINT)strtoul(status, NULL, 0) : 0);
    return 0;
}
