# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (posix threads) against a Qt
# built the same way. TAVORO_QT_WINDOWS (or the environment's) names that Qt's folder;
# moc, rcc and uic come from the Linux Qt of the same version.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT TAVORO_QT_WINDOWS AND DEFINED ENV{TAVORO_QT_WINDOWS})
    set(TAVORO_QT_WINDOWS "$ENV{TAVORO_QT_WINDOWS}")
endif()
if(NOT TAVORO_QT_WINDOWS)
    message(FATAL_ERROR "Set TAVORO_QT_WINDOWS to the folder of Qt built for Windows")
endif()
# Try-compile projects get their own copy of this file: hand them the Qt folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVORO_QT_WINDOWS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${TAVORO_QT_WINDOWS}")
set(CMAKE_PREFIX_PATH "${TAVORO_QT_WINDOWS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr CACHE PATH "Where the host's Qt tools are")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host Qt's CMake packages")

# Tests and tools run under Wine, found through this.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
