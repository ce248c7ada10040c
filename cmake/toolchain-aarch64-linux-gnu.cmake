# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu). The
# target's libraries (SDL2, libpng, giflib, X11) are Debian's multiarch
# :arm64 packages in /usr/lib/aarch64-linux-gnu, beside the native ones;
# the compiler's own C library is in /usr/aarch64-linux-gnu. Programs built
# here run on this machine under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Only the target's folders: never a library of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr/lib/aarch64-linux-gnu/cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# The tests and the tools run under qemu, with the dynamic loader and C
# library of the multiarch libc6:arm64 (/lib/ld-linux-aarch64.so.1), the
# one the :arm64 libraries were built against. Not with -L
# /usr/aarch64-linux-gnu: that C library is the cross compiler's (another
# version), and a program whose libraries mix the two hangs in its first
# pthread_create.
find_program(QUENLIXOR_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENLIXOR_QEMU_AARCH64})
