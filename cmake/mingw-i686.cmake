# mingw-i686.cmake - cross build of the 32-bit Windows command and library with MinGW-w64 (the
# posix thread flavour, so std::thread works). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The programs run here under Wine (tests and generated-file steps).
find_program(PARTLIST_WINE wine)
if(PARTLIST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PARTLIST_WINE})
endif()
