# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The MinGW-w64 cross compiler of Debian (posix threads, for C++ threads and mutexes), building
# 64-bit Windows programs that need no DLL beyond Windows' own. scripts/windows copies this file
# into its cache: the toolkit built there refers to it by that path for good.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and headers for Windows only, never the machine's own; programs (the toolkit's host
# tools) only from the machine. The cache's ICU sits beside this file.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${CMAKE_CURRENT_LIST_DIR}/icu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime and the threads library linked in, so that the .exe runs alone. ICU is a
# static library here: without this its headers would declare every function imported from a
# DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_CXX_FLAGS_INIT -DU_STATIC_IMPLEMENTATION)
