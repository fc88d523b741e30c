# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu. The test
# executables run under qemu-user, which finds the target's loader and libraries
# under /usr/aarch64-linux-gnu.
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The loader comes from that tree, so the C library must too: the host's loader
# cache also lists the multiarch libc6:arm64 that libfaketime:arm64 brings, and a
# loader and C library of two builds hang at the first fork or thread.
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib)
