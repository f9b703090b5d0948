# Shared part of the mingw-w64 toolchain files; they set KELO_MINGW_TRIPLE and the processor first.
set(CMAKE_SYSTEM_NAME Windows)

# Debian's default alternative is the win32 thread model, whose GCC 12 libstdc++ has no std::mutex,
# std::condition_variable or std::thread, and GoogleTest does not compile without them. Name the
# posix flavour explicitly, in both builds, so that the shipped DLL uses the C++ runtime the tests
# exercised and the result does not depend on how the alternatives are set.
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

# The toolchain file's wine loader (KELO_WINE_LOADER); Debian keeps the loaders out of PATH, in
# /usr/lib/wine.
find_program(KELO_WINE NAMES ${KELO_WINE_LOADER} HINTS /usr/lib/wine
    DOC "wine loader that runs the tests")
if(KELO_WINE)
    # A prefix of its own inside the build tree: tests never touch ~/.wine, a clean build starts
    # from a clean prefix, and no mono/gecko installer is offered (there is no display).
    # Wine takes the Windows locale and the encoding of Unix file names from the Unix locale: pin
    # it, so the tests see en-US and code page 1252 whatever the machine's LANG, and non-ASCII
    # file names work (under the C locale they cannot be created at all).
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env --unset=LANGUAGE
        LC_ALL=C.UTF-8
        WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
        WINEARCH=${KELO_WINEARCH}
        WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml=
        ${KELO_WINE})
endif()
