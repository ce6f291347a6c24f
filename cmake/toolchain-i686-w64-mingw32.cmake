# 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
# The tests then run under 32-bit Wine (tests/windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ISORELINK_MINGW_PREFIX i686-w64-mingw32)

# Prefer the win32 thread model: its runtime needs no libwinpthread, so the
# module imports system DLLs only. The posix flavour works too (linked -static).
foreach(flavour -win32 "")
  if(NOT CMAKE_C_COMPILER)
    find_program(ISORELINK_MINGW_GCC ${ISORELINK_MINGW_PREFIX}-gcc${flavour} NO_CACHE)
    find_program(ISORELINK_MINGW_GXX ${ISORELINK_MINGW_PREFIX}-g++${flavour} NO_CACHE)
    if(ISORELINK_MINGW_GCC AND ISORELINK_MINGW_GXX)
      set(CMAKE_C_COMPILER ${ISORELINK_MINGW_GCC})
      set(CMAKE_CXX_COMPILER ${ISORELINK_MINGW_GXX})
    endif()
    unset(ISORELINK_MINGW_GCC)
    unset(ISORELINK_MINGW_GXX)
  endif()
endforeach()
if(NOT CMAKE_C_COMPILER)
  message(FATAL_ERROR "${ISORELINK_MINGW_PREFIX}-gcc not found (Debian: apt-get install g++-mingw-w64-i686)")
endif()
find_program(CMAKE_RC_COMPILER ${ISORELINK_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${ISORELINK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run the cross-built tests under Wine (tests/windows sets up its prefix).
find_program(ISORELINK_WINE wine)
if(ISORELINK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ISORELINK_WINE})
endif()
