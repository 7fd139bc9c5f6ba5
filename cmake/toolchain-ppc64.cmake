# Cross build for 64-bit big-endian PowerPC Linux with Debian's
# g++-powerpc64-linux-gnu; the binaries run under qemu-ppc64 with
# QEMU_LD_PREFIX=/usr/powerpc64-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ppc64)

set(CMAKE_C_COMPILER powerpc64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/powerpc64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test binaries are run through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc64;-L;/usr/powerpc64-linux-gnu)

# The ppc64 linker marks the stack non-executable (PT_GNU_STACK) only when
# asked; the x86-64 one does it by default.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-z,noexecstack")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,-z,noexecstack")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-z,noexecstack")
