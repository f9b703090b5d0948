# Cross toolchain for 64-bit Windows (Debian mingw-w64). Programs built with it run under wine64,
# so ctest can run the unit tests against a real implementation of the Windows API.
set(KELO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Debian keeps the 64-bit loader out of PATH, in /usr/lib/wine.
find_program(KELO_WINE64 NAMES wine64 HINTS /usr/lib/wine DOC "wine64 loader that runs the tests")
if(KELO_WINE64)
    # A prefix of its own inside the build tree: tests never touch ~/.wine, a clean build starts
    # from a clean prefix, and no mono/gecko installer is offered (there is no display).
    # Wine takes the Windows locale and the encoding of Unix file names from the Unix locale: pin
    # it, so the tests see en-US and code page 1252 whatever the machine's LANG, and non-ASCII
    # file names work (under the C locale they cannot be created at all).
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env --unset=LANGUAGE
        LC_ALL=C.UTF-8
        WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
        WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml=
        ${KELO_WINE64})
endif()
