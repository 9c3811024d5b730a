# 32-bit Arm Linux with hardware floating point (Debian's armhf: Raspberry Pi
# OS 32-bit and other boards): apt-get install g++-arm-linux-gnueabihf qemu-user
set(CMAKE_SYSTEM_PROCESSOR arm)
set(halvorine_triplet arm-linux-gnueabihf)
set(HALVORINE_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
