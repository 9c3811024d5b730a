# 64-bit Arm Linux: apt-get install g++-aarch64-linux-gnu qemu-user
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(HALVORINE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
