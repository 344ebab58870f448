# Cross build for 64-bit ARM Linux with Debian's aarch64 cross compiler (package
# g++-aarch64-linux-gnu) against the arm64 libraries installed beside the amd64 ones
# (multiarch: dpkg --add-architecture arm64, then libcairo2-dev:arm64 and the rest).
# The tests run under qemu-aarch64 (package qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
# pkg-config's cross wrapper reads the arm64 .pc files only.
set(PKG_CONFIG_EXECUTABLE ${triple}-pkg-config CACHE FILEPATH "pkg-config for ${triple}")
# CMake finds libraries and package files under lib/${triple} by
# CMAKE_LIBRARY_ARCHITECTURE; test programs run through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
