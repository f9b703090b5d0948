# 32-bit x86 Linux with the host's GCC (g++-12-multilib, lib32z1-dev): the unit tests run natively
# with 32-bit pointers, longs and sizes, the word size of the DLL that ships.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
# zlib's headers are the host's (zlib1g-dev); its 32-bit library is in /usr/lib32.
set(ZLIB_LIBRARY /usr/lib32/libz.so CACHE FILEPATH "zlib for the i686 target")

# gcc -m32 finds the kernel's asm/ headers only through the link /usr/include/asm of gcc-multilib,
# which conflicts with every Debian cross compiler (the aarch64 leg's too). The x86_64 headers
# serve -m32 as well: a folder of the build tree links to them.
set(kelo_i686_include ${CMAKE_BINARY_DIR}/i686-include)
file(MAKE_DIRECTORY ${kelo_i686_include})
file(CREATE_LINK /usr/include/x86_64-linux-gnu/asm ${kelo_i686_include}/asm SYMBOLIC)
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${kelo_i686_include})
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${kelo_i686_include})
