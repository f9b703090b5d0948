# Cross toolchain for 64-bit Windows (Debian mingw-w64). Programs built with it run under wine64,
# so ctest can run the unit tests against a real implementation of the Windows API.
set(KELO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KELO_WINE_LOADER wine64)
set(KELO_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
