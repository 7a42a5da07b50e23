# Cross build for 64-bit ARM with Debian's g++-aarch64-linux-gnu, its tests
# run under qemu-user (qemu-user-static) and linked with GoogleTest from
# multiarch (libgtest-dev:arm64).  The preset: cmake --workflow --preset aarch64
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# -L runs the program on the cross compiler's own C and C++ libraries, so
# it runs without the arm64 ones from multiarch.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu)
# The .deb is for the processor the program runs on, not the one that built it.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
