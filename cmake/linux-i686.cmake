# 32-bit x86 Linux with the host's GCC (its g++-N-multilib, lib32z1-dev): the unit tests run natively
# with 32-bit pointers, longs and sizes, the word size of the DLL that ships.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# The kernel's asm/ headers serve both word sizes; only the unversioned gcc-multilib points
# /usr/include/asm at them, and it cannot be installed beside Debian's cross compilers.
set(CMAKE_C_FLAGS_INIT "-m32 -idirafter /usr/include/x86_64-linux-gnu")
set(CMAKE_CXX_FLAGS_INIT "-m32 -idirafter /usr/include/x86_64-linux-gnu")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
# zlib's headers are the host's (zlib1g-dev); its 32-bit library is in /usr/lib32.
set(ZLIB_LIBRARY /usr/lib32/libz.so CACHE FILEPATH "zlib for the i686 target")

