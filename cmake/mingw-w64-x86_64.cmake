# Cross-builds for 64-bit Windows with Debian's mingw-w64 (posix thread model, so std::thread
# and the libraries' pthreads work). The libraries come from one prefix (scripts/windows-deps
# makes it); DE_WINDOWS_PREFIX names it, from the command line or the environment.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DE_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${DE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${DE_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${DE_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT DE_WINDOWS_PREFIX AND DEFINED ENV{DE_WINDOWS_PREFIX})
  set(DE_WINDOWS_PREFIX $ENV{DE_WINDOWS_PREFIX})
endif()
# try_compile projects see the toolchain file but not the cache: hand the prefix on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DE_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${DE_MINGW_TRIPLE} ${DE_WINDOWS_PREFIX})
set(CMAKE_PREFIX_PATH ${DE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads only the prefix's .pc files, with the libraries' private dependencies: every
# library is static, so what they need links into each program.
if(DE_WINDOWS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} ${DE_WINDOWS_PREFIX}/lib/pkgconfig:${DE_WINDOWS_PREFIX}/share/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
set(PKG_CONFIG_ARGN --static)

# Test programs (and gtest's discovery of their cases) run under Wine. Debian's wine64 package
# alone has no wrapper on PATH, so its own folder is searched as well.
find_program(DE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(DE_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DE_WINE64})
endif()
