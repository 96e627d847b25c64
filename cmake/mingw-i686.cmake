# Cross build for 32-bit x86 Windows with mingw-w64. The -posix compilers use
# the POSIX thread model, whose runtime has std::mutex and std::thread
# (GoogleTest needs them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZUV_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ZUV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZUV_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ZUV_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZUV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under wine, in a prefix that belongs to this build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
