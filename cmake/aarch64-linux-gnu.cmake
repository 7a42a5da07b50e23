# Cross build for 64-bit ARM with Debian's g++-aarch64-linux-gnu, its tests
# linked with GoogleTest from multiarch (libgtest-dev:arm64) and run under
# qemu-user (qemu-user-static); scripts/setup ci installs them all.
# The preset: cmake --workflow --preset aarch64
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The programs run on the arm64 C and C++ libraries from multiarch
# (libstdc++6:arm64).  Not on the cross compiler's, with -L
# /usr/aarch64-linux-gnu: its loader would then meet multiarch's libc,
# from another build of glibc, and a forked child hangs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
# The Debian architecture of the programs built here, which names the
# packages they need (libgtest-dev:arm64).
set(SCANDEC_DEBIAN_ARCH arm64)
