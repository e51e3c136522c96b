# SPDX-License-Identifier: MIT
# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads, so
# that std::thread and std::mutex work). Programs link statically: a test or
# kestrone-scan.exe runs under wine or on Windows without the compiler's DLLs.
# The dependencies that tools/windows/build-deps.sh built are found through
# CMAKE_PREFIX_PATH; nothing of the Linux system is searched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRONE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRONE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRONE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRONE_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${KESTRONE_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KESTRONE_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows aligns the stack to 16 bytes, and GCC spills 32-byte AVX registers
# with aligned moves as if it were 32 (GCC bug 54412): the assembler writes
# every aligned vector move as an unaligned one, which runs the same and
# cannot fault.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# The mingw runtime and the prefixes of the built dependencies are the only
# places libraries, headers and packages come from; programs are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRONE_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config through a wrapper that reads only Windows .pc files and always
# answers for static linking.
set(PKG_CONFIG_EXECUTABLE ${CMAKE_CURRENT_LIST_DIR}/pkg-config CACHE FILEPATH "")

# Tests run under wine when it is there.
find_program(KESTRONE_WINE NAMES wine)
if(KESTRONE_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRONE_WINE})
endif()
