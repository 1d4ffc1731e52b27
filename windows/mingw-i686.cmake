# SPDX-License-Identifier: MIT
# Cross-compiling for 32-bit Windows with Debian's MinGW-w64 (posix threads).
# Executables are linked statically, so that they need only the system's DLLs;
# Qt is built with one section per function, which lets the linker drop
# what is not used.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections")
