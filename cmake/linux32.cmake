# Builds the 32-bit x86 Linux program with the host's g++ (g++-multilib), and
# runs what it builds, the tests included, under qemu-user: the host kernel
# may not run 32-bit programs itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
