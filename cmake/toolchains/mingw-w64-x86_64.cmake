# Cross-builds for Windows x64 with Debian's MinGW-w64 GCC 12 (posix threads,
# which C++ threads and std::expected need), for the Windows wheels and the C++
# suite run under Wine:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QUELLAN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUELLAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUELLAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUELLAN_MINGW_TRIPLE}-windres)

# Libraries and headers of the target (zlib from libz-mingw-w64-dev) come from
# its root alone, never from this machine's; a build may add roots of its own
# (-DCMAKE_FIND_ROOT_PATH: GoogleTest and liblz4 built for the target).
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUELLAN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The C++ runtime, libgcc and winpthreads linked in, so that no MinGW DLL has to
# travel with a module or a test: -static-libstdc++ -static-libgcc alone would
# still leave libwinpthread-1.dll behind.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# ctest runs the test programs under Wine.
find_program(QUELLAN_WINE NAMES wine wine64 PATHS /usr/lib/wine)
if(QUELLAN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUELLAN_WINE})
endif()
