# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu). Its programs run under
# user-mode emulation (qemu-aarch64 from qemu-user), which scripts/aarch64 sets as the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# zlib from the arm64 architecture (zlib1g-dev:arm64), in its multiarch folder; the headers are
# the same for every architecture.
set(ZLIB_LIBRARY /usr/lib/aarch64-linux-gnu/libz.so CACHE FILEPATH "zlib for the aarch64 target")
