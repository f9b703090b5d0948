# Cross toolchain for 32-bit Windows (Debian mingw-w64): builds the DLL that 32-bit JVMs load.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KELO_MINGW_TRIPLE i686-w64-mingw32)
# The posix thread model, as in the 64-bit build that runs the tests (see mingw-x86_64.cmake): the
# shipped DLL then uses the same C++ runtime the tests exercised.
set(CMAKE_C_COMPILER ${KELO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELO_MINGW_TRIPLE}-windres)

# Headers and libraries (zlib from libz-mingw-w64-dev) only from the target tree; tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KELO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# find_package(ZLIB) prefers the import library libz.dll.a, which would make the DLL need zlib1.dll
# at run time; the static archive keeps it self-contained like the rest of the runtime.
set(ZLIB_LIBRARY /usr/${KELO_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "zlib for the Windows target")

# No emulator: running 32-bit programs needs wine32 from the i386 architecture, which the build
# machine does not have. The tests run in the 64-bit build instead.
