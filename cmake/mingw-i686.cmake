# Cross-compile for 32-bit Windows with Debian's mingw-w64 (i686, win32 threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Self-contained: the GCC runtime linked in, since a clean Windows has no
# libgcc_s_dw2-1.dll. The compile flags are uninstall/CMakeLists.txt's: the
# preset's CMAKE_CXX_FLAGS would take the place of a CMAKE_CXX_FLAGS_INIT.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -s -Wl,--gc-sections")
