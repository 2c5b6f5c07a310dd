# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (POSIX thread
# model) and runs the built programs under wine:
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Needs the packages g++-mingw-w64-x86-64-posix, wine64 and wine. The
# executables link libgcc, libstdc++ and winpthread statically, so they run
# without any DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VHDX_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VHDX_MINGW_TRIPLE}-gcc-posix ${VHDX_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VHDX_MINGW_TRIPLE}-g++-posix ${VHDX_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VHDX_MINGW_TRIPLE}-windres)

# Headers, libraries and packages come from the mingw sysroot only; build
# tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VHDX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CTest and gtest_discover_tests run the test programs through wine, by way
# of wine-start.sh, which starts a program once more only when one of wine's
# known failures of its own ended it.
find_program(VHDX_WINE NAMES wine wine64 NO_CMAKE_FIND_ROOT_PATH)
find_program(VHDX_BASH NAMES bash NO_CMAKE_FIND_ROOT_PATH)
if(VHDX_WINE AND VHDX_BASH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VHDX_BASH} ${CMAKE_CURRENT_LIST_DIR}/wine-start.sh ${VHDX_WINE})
endif()
