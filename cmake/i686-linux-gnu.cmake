# 32-bit x86 Linux, where size_t is 32 bits and files still pass 4 GiB:
# apt-get install g++-i686-linux-gnu qemu-user
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALVORINE_QEMU qemu-i386)
set(HALVORINE_DEBIAN_ARCH i386)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
