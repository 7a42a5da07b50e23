# Cross build for 32-bit x86 with Debian's g++-i686-linux-gnu, linked with
# GoogleTest from multiarch (libgtest-dev:i386).  Its tests run natively: an
# x86-64 Linux kernel runs 32-bit programs unless it was built without
# IA32 emulation.  Where it refuses them, the configure step finds out by
# running one, and its tests run under this emulator instead.
# The preset: cmake --workflow --preset i686
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(SCANDEC_EMULATOR_FALLBACK qemu-i386-static)
# The Debian architecture of the programs built here, which names the
# packages they need (libgtest-dev:i386).
set(SCANDEC_DEBIAN_ARCH i386)
