# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Everything is linked statically (the C and C++ runtimes and winpthreads), so
# each program is a single .exe with no DLLs beside it. Test programs run
# through Wine when it is there.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BKF_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BKF_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BKF_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BKF_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BKF_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Unicode builds: the wide-character entry points are the only ones used.
add_compile_definitions(UNICODE _UNICODE)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(BKF_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT BKF_WINE)
    find_program(BKF_WINE NAMES wine64 wine)
  endif()
  if(BKF_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BKF_WINE})
  endif()
endif()
