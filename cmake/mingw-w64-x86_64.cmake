# Cross-building the plain C++ part (core/, results/, analysis/, coder/arith/ and their tests)
# for 64-bit Windows with Debian's MinGW-w64 (packages mingw-w64 and g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The posix flavour of the compiler is the one with std::thread. Where Wine is installed, the
# tests are listed and run through it (scripts/test-windows.sh does all of this).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(EKS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${EKS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EKS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${EKS_MINGW_TRIPLE}-windres)

# Libraries and packages only from the MinGW tree (and from prefixes given with
# CMAKE_PREFIX_PATH, such as a GoogleTest built for it), programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${EKS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

find_program(EKS_WINE NAMES wine64 wine)
if(EKS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${EKS_WINE})
endif()
