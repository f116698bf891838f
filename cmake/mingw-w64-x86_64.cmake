# Cross-build for 64-bit Windows with Debian's mingw-w64. The "-posix"
# compilers carry std::thread and std::mutex; everything links statically so
# the programs need no MinGW runtime DLLs. Programs run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DORVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${DORVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DORVANE_MINGW_PREFIX})
# Host programs (wine, windres, python) stay findable; libraries and headers
# come only from the target's root.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(DORVANE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT DORVANE_WINE64)
  find_program(DORVANE_WINE64 NAMES wine64 wine)
endif()
if(DORVANE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DORVANE_WINE64})
endif()
