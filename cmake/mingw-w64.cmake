# Cross-build for 64-bit Windows with mingw-w64, tests run under Wine.
# The -posix compilers give std::mutex (GoogleTest needs it); everything is
# linked statically so the DLL and the tests need no mingw runtime DLLs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FW_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Wine runs the tests, in a prefix of their own inside the build folder
# (scripts/test-windows.sh warms it before CTest starts); FW_WINEPREFIX in
# the environment picks another. Kept in the cache, so a later automatic
# re-run of the configuration keeps it.
if(DEFINED ENV{FW_WINEPREFIX})
  set(FW_WINEPREFIX "$ENV{FW_WINEPREFIX}" CACHE PATH "Wine prefix of the tests" FORCE)
elseif(NOT FW_WINEPREFIX)
  set(FW_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH "Wine prefix of the tests")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
  env WINEPREFIX=${FW_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=
  /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh /usr/lib/wine/wine64)
