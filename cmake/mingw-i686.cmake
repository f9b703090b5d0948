# Cross toolchain for 32-bit Windows (Debian mingw-w64): builds the DLL that 32-bit JVMs load.
set(KELO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# No emulator: running 32-bit programs needs wine32 from the i386 architecture, which the build
# machine does not have. The tests run in the 64-bit build instead.
