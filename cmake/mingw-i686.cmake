# Cross toolchain for 32-bit Windows (Debian mingw-w64): builds the DLL that 32-bit JVMs load. Its
# tests run under the 32-bit wine loader (wine32 from the i386 architecture), which starts only
# where the kernel runs 32-bit executables: scripts/windows builds them only there.
set(KELO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KELO_WINE_LOADER wine)
set(KELO_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
